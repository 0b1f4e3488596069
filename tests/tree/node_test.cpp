#include "tests/support/test_document.h"
#include "tree/name_pool.h"
#include "tree/node.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace ovra {
namespace {

TEST(NodeTest, StringValueIsDescendantTextAndDeepValueAddsEverything) {
  TestDocument doc("<r><e xmlns:p='U' a='A'>T<f b='B'>S<!--C--><?pi D?></f></e>W</r>", 3);
  struct {
    Node* node;
    const char* value;
    const char* deep;
  } cases[] = {
      {doc.element("e"), "TS", "AUTBSCD"},
      {doc.element("f"), "S", "BSCD"},
      {doc.root(), "TSW", "AUTBSCDW"},
      {doc.element("e")->firstAttribute(), "A", "A"},
      {doc.element("e")->firstNamespace(), "U", "U"},
      {doc.element("f")->lastChild(), "D", "D"},
      {doc.element("f")->lastChild()->previousSibling(), "C", "C"},
  };
  for (auto c : cases) {
    EXPECT_EQ(c.node->stringValue().view(), c.value) << c.deep;
    EXPECT_EQ(c.node->deepStringValue().view(), c.deep) << c.deep;
  }
}

TEST(NodeTest, RootDeepValueOfALazyDocumentCoversTheWholeFile) {
  TestDocument doc("<!--a--><r x='1'>t</r><!--b-->", 2);
  EXPECT_FALSE(doc.root()->isComplete());
  EXPECT_EQ(doc.root()->deepStringValue().view(), "a1tb");
}

TEST(NodeTest, ExpandedNameJoinsNamespaceAndLocalName) {
  TestDocument doc("<p:r xmlns:p='urn:x' a='1'/>");
  Node* r = doc.root()->firstChild();
  EXPECT_EQ(r->expandedName().view(), "urn:x/r");
  EXPECT_EQ(r->firstAttribute()->expandedName().view(), "/a");
  EXPECT_EQ(r->firstNamespace()->expandedName().view(), "urn:x/p");
}

TEST(NodeTest, EveryRootHoldsTheXmlNamespaceNode) {
  TestDocument doc("<r xmlns:p='urn:p'/>");
  RootNode fragment(nullptr);
  for (Node* root : {doc.root(), static_cast<Node*>(&fragment)}) {
    Node* xml = root->firstNamespace();
    ASSERT_NE(xml, nullptr);
    EXPECT_EQ(xml->kind(), NodeKind::Namespace);
    EXPECT_EQ(xml->localName().view(), "xml");
    EXPECT_EQ(xml->stringValue().view(), "http://www.w3.org/XML/1998/namespace");
    EXPECT_EQ(xml->parent(), root);
    EXPECT_EQ(xml->root(), root);
    EXPECT_EQ(xml->rawNextSibling(), nullptr);
    EXPECT_EQ(xml->serial(), root->serial() + 1);
  }
}

TEST(NodeTest, NamespaceNodesFollowTheirElementInDocumentOrder) {
  // The loader makes namespace nodes before their element; result trees after it.
  TestDocument doc("<r xmlns:p='urn:p' xmlns:q='urn:q' a='1'><c/></r>");
  Node* r = doc.element("r");
  Node* p = r->firstNamespace();
  Node* q = p->rawNextSibling();
  ASSERT_LT(p->serial(), r->serial());
  RootNode tree(nullptr);
  auto* e = new ElementNode(emptyName(), intern("e"), emptyName(), 0, true);
  tree.appendChild(e);
  auto* n = new NamespaceNode(intern("n"), intern("urn:n"));
  e->appendNamespace(n);
  e->appendAttribute(AttributeNode::makeOwned(emptyName(), emptyName(), intern("b"), "2"));
  // Each row in document order.
  const std::vector<std::vector<Node*>> orders = {
      {doc.root(), doc.root()->firstNamespace(), r, p, q, r->firstAttribute(), r->firstChild()},
      {&tree, tree.firstNamespace(), e, n, e->firstAttribute()},
  };
  for (const auto& order : orders) {
    for (std::size_t i = 0; i < order.size(); ++i) {
      for (std::size_t j = 0; j < order.size(); ++j)
        EXPECT_EQ(precedesInDocumentOrder(order[i], order[j]), i < j) << i << " " << j;
    }
  }
}

// "prefix=uri" of each namespace node of element, space-separated.
std::string namespaceNodesOf(ElementNode* element) {
  std::string text;
  for (Node* node = element->firstNamespaceNode(); node != nullptr; node = node->rawNextSibling()) {
    EXPECT_EQ(node->parent(), element);
    if (!text.empty())
      text += ' ';
    text += std::string(node->localName().view()) + "=" + std::string(node->namespaceURI().view());
  }
  return text;
}

TEST(NodeTest, EachElementHasItsOwnNamespaceNodesMadeOnce) {
  constexpr const char* kXml = "xml=http://www.w3.org/XML/1998/namespace";
  // A heap tree owns its namespace nodes; a file-backed one keeps them in its arena.
  RootNode tree(nullptr);
  auto* outer = new ElementNode(emptyName(), intern("outer"), emptyName(), 0, true);
  tree.appendChild(outer);
  outer->appendNamespace(new NamespaceNode(intern("p"), intern("urn:p")));
  outer->appendNamespace(new NamespaceNode(emptyName(), intern("urn:d")));
  auto* inner = new ElementNode(emptyName(), intern("inner"), emptyName(), 0, true);
  outer->appendChild(inner);
  inner->appendNamespace(new NamespaceNode(emptyName(), emptyName()));  // xmlns=""
  inner->appendNamespace(new NamespaceNode(intern("q"), intern("urn:q")));
  inner->appendNamespace(new NamespaceNode(intern("q"), intern("urn:other")));  // repeated
  // The inner element first: its ancestors get theirs on the way.
  EXPECT_EQ(namespaceNodesOf(inner), std::string(kXml) + " p=urn:p q=urn:q");
  EXPECT_EQ(namespaceNodesOf(outer), std::string(kXml) + " =urn:d p=urn:p");
  Node* first = inner->firstNamespaceNode();
  EXPECT_EQ(inner->firstNamespaceNode(), first) << "made once";
  EXPECT_EQ(inner->firstNamespace()->namespaceURI(), emptyName()) << "the declarations stay";
  // Appended after the nodes were made: a declaration, not a namespace node.
  inner->appendNamespace(new NamespaceNode(intern("z"), intern("urn:z")));
  EXPECT_EQ(namespaceNodesOf(inner), std::string(kXml) + " p=urn:p q=urn:q");
  int declarations = 0;
  for (Node* node = inner->firstNamespace(); node != nullptr; node = node->rawNextSibling())
    ++declarations;
  EXPECT_EQ(declarations, 4);

  auto orphan = std::make_unique<ElementNode>(emptyName(), intern("o"), emptyName(), 0, true);
  EXPECT_EQ(namespaceNodesOf(orphan.get()), kXml);

  TestDocument doc("<r xmlns:p='urn:p'><a><b xmlns:p='urn:p2'/></a></r>", 7);
  auto* b = static_cast<ElementNode*>(doc.element("b"));
  EXPECT_EQ(namespaceNodesOf(b), std::string(kXml) + " p=urn:p2");
  EXPECT_EQ(namespaceNodesOf(static_cast<ElementNode*>(doc.element("a"))),
            std::string(kXml) + " p=urn:p");
}

TEST(NodeTest, ClonesAreFreshUnlinkedAndComplete) {
  TestDocument doc("<x:template xmlns:x='http://www.w3.org/1999/XSL/Transform' match='/'>\n"
                   "<p:out xmlns:p='urn:p' p:a='v'>text<!--c--><?t d?></p:out></x:template>");
  Node* element = doc.element("out");
  std::unique_ptr<Node> copy(element->clone());
  EXPECT_EQ(copy->kind(), NodeKind::Element);
  EXPECT_GT(copy->serial(), element->serial());
  EXPECT_TRUE(copy->isComplete());
  EXPECT_EQ(copy->parent(), nullptr);
  EXPECT_EQ(copy->firstChild(), nullptr);
  EXPECT_EQ(copy->firstAttribute(), nullptr);
  EXPECT_EQ(copy->firstNamespace(), nullptr);
  EXPECT_EQ(copy->localName(), element->localName());
  EXPECT_EQ(copy->namespaceURI(), element->namespaceURI());
  EXPECT_EQ(element->prefix().view(), "p");
  EXPECT_EQ(copy->prefix(), emptyName());
  EXPECT_EQ(copy->lineNumber(), 0);
  EXPECT_EQ(copy->document(), nullptr);

  std::unique_ptr<Node> attribute(element->firstAttribute()->clone());
  EXPECT_EQ(attribute->parent(), nullptr);
  EXPECT_EQ(attribute->stringValue().view(), "v");
  EXPECT_EQ(attribute->namespaceURI().view(), "urn:p");
  EXPECT_EQ(attribute->prefix(), emptyName());

  std::unique_ptr<Node> ns(element->firstNamespace()->clone());
  EXPECT_EQ(ns->localName().view(), "p");
  EXPECT_EQ(ns->namespaceURI().view(), "urn:p");

  for (Node* leaf = element->firstChild(); leaf != nullptr; leaf = leaf->nextSibling()) {
    std::unique_ptr<Node> leafCopy(leaf->clone());
    EXPECT_EQ(leafCopy->kind(), leaf->kind());
    EXPECT_EQ(leafCopy->stringValue().view(), leaf->stringValue().view());
    EXPECT_EQ(leafCopy->nextSibling(), nullptr);
  }

  std::unique_ptr<Node> root(doc.root()->clone());
  EXPECT_EQ(root->document(), nullptr);
  EXPECT_TRUE(root->isComplete());
  EXPECT_EQ(root->firstChild(), nullptr);

  // The template element itself: a clone starts empty until the caller appends.
  std::unique_ptr<Node> stylesheetCopy(doc.root()->firstChild()->clone());
  EXPECT_EQ(stylesheetCopy->firstAttribute(), nullptr);
  stylesheetCopy->appendAttribute(doc.root()->firstChild()->firstAttribute()->clone());
  EXPECT_EQ(stylesheetCopy->firstAttribute()->parent(), stylesheetCopy.get());
}

// Nodes of one name share its record: renaming one (prefix restored by the loader, a
// namespace alias) must leave the others as they were.
TEST(NodeTest, RenamingANodeLeavesOthersOfItsNameAlone) {
  TestDocument doc("<r xmlns:p='urn:p'><p:e p:a='1'/><p:e p:a='2'/></r>");
  auto* first = static_cast<ElementNode*>(doc.root()->firstChild()->firstChild());
  auto* second = static_cast<ElementNode*>(first->nextSibling());
  auto* firstAttribute = static_cast<AttributeNode*>(first->firstAttribute());
  Node* secondAttribute = second->firstAttribute();
  ASSERT_EQ(first->qualifiedName(), second->qualifiedName());

  first->setNamespaceURI(intern("urn:q"));
  first->setPrefix(intern("q"));
  firstAttribute->setPrefix(emptyName());
  EXPECT_EQ(first->namespaceURI().view(), "urn:q");
  EXPECT_EQ(first->prefix().view(), "q");
  EXPECT_EQ(first->localName().view(), "e");
  EXPECT_EQ(firstAttribute->prefix(), emptyName());
  EXPECT_EQ(second->namespaceURI().view(), "urn:p");
  EXPECT_EQ(second->prefix().view(), "p");
  EXPECT_EQ(secondAttribute->prefix().view(), "p");

  // Renaming back finds the shared record again.
  first->setNamespaceURI(intern("urn:p"));
  first->setPrefix(intern("p"));
  EXPECT_EQ(first->qualifiedName(), second->qualifiedName());
}

TEST(NodeTest, OnlyElementsAndAttributesCarryInstructions) {
  struct Marker : Attachment {};
  TestDocument doc("<r a='1'>t<!--c--><?pi d?></r>");
  Node* element = doc.root()->firstChild();
  Marker forElement, forAttribute;
  element->setInstruction(&forElement);
  element->firstAttribute()->setInstruction(&forAttribute);
  EXPECT_EQ(element->instruction(), &forElement);
  EXPECT_EQ(element->firstAttribute()->instruction(), &forAttribute);
  for (Node* node : {doc.root(), element->firstChild(), element->firstChild()->nextSibling(),
                     element->lastChild(), doc.root()->firstNamespace()})
    EXPECT_EQ(node->instruction(), nullptr);
  element->setInstruction(nullptr);
  element->firstAttribute()->setInstruction(nullptr);
}

TEST(NodeTest, ResultTreeNameFilterIsSafeUntilMarked) {
  std::unique_ptr<Node> root(new RootNode(nullptr));
  auto* outer = new ElementNode(emptyName(), intern("outer"), emptyName(), 0, true);
  auto* inner = new ElementNode(emptyName(), intern("inner-name"), emptyName(), 0, true);
  root->appendChild(outer);
  outer->appendChild(inner);
  // Built in memory: children arrive after the element is made, so no bit is ruled out.
  EXPECT_EQ(outer->nameFilter(), kAllNames);
  inner->markComplete();
  outer->markComplete();
  EXPECT_NE(outer->nameFilter() & intern("inner-name").bit(), 0u);
  EXPECT_NE(outer->nameFilter() & intern("outer").bit(), 0u);
}

TEST(NodeTest, DeepResultTreesAreWalkedAndDeletedWithoutRecursion) {
  constexpr int kDepth = 200000;
  std::unique_ptr<Node> root(new RootNode(nullptr));
  Node* parent = root.get();
  for (int i = 0; i < kDepth; ++i) {
    auto* element = new ElementNode(emptyName(), intern("d"), emptyName(), 0, true);
    element->appendAttribute(AttributeNode::makeOwned(emptyName(), emptyName(), intern("a"), "a"));
    element->appendChild(TextNode::makeOwned("t"));
    parent->appendChild(element);
    parent = element;
  }
  EXPECT_EQ(root->stringValue().length(), std::size_t(kDepth));
  EXPECT_EQ(root->deepStringValue().length(), std::size_t(2 * kDepth));
  root.reset();  // must not overflow the stack
}

TEST(NodeTest, ListRemovalKeepsLinksInOrder) {
  std::unique_ptr<Node> parent(new ElementNode(emptyName(), intern("p"), emptyName(), 0, true));
  Node* nodes[4];
  for (int i = 0; i < 4; ++i) {
    nodes[i] = TextNode::makeOwned(std::string(1, char('a' + i)));
    parent->appendChild(nodes[i]);
  }
  NodeList& children = static_cast<ElementNode*>(parent.get())->children();
  children.remove(nodes[0]);
  children.remove(nodes[2]);
  children.remove(nodes[3]);
  EXPECT_EQ(children.first(), nodes[1]);
  EXPECT_EQ(children.last(), nodes[1]);
  EXPECT_EQ(nodes[1]->previousSibling(), nullptr);
  EXPECT_EQ(nodes[1]->rawNextSibling(), nullptr);
  for (int i : {0, 2, 3})
    delete nodes[i];
  EXPECT_EQ(parent->stringValue().view(), "b");
}

}  // namespace
}  // namespace ovra
