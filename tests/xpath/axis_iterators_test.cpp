#include "tests/support/test_document.h"
#include "tests/support/xpath_helpers.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/runtime/axis_iterators.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace ovra {
namespace {

// r declares p; d1 declares p again for another name.
constexpr const char* kDocument =
    "<r id='r' xmlns:p='urn:p'><a id='a1' x='1'><b id='b1'>t1</b><b id='b2'><c id='c1'/></b></a>"
    "<a id='a2'><b id='b3'/></a><!--k--><?pi d?>"
    "<d id='d1' xmlns:p='urn:p2'><a id='a3'><a id='a4'/></a></d></r>";

using enum TokenKind;

struct AxisCase {
  const char* start;  // see findNode
  TokenKind axis;
  const char* expected;  // labels in the order the iterator hands them out
};

constexpr AxisCase kAxisCases[] = {
    // Reverse axes hand out the nearest node first.
    {"c1", AxisAncestor, "b2 a1 r /"},
    {"c1", AxisAncestorOrSelf, "c1 b2 a1 r /"},
    {"a1@x", AxisAncestor, "a1 r /"},
    {"/", AxisAncestor, ""},
    {"/", AxisAncestorOrSelf, "/"},
    {"/", AxisParent, ""},
    {"r", AxisParent, "/"},
    {"a1@x", AxisParent, "a1"},
    {"b3", AxisPreceding, "c1 b2 t:t1 b1 a1"},  // never the parent a2
    {"a4", AxisPreceding, "?pi !k b3 a2 c1 b2 t:t1 b1 a1"},
    {"a1@x", AxisPreceding, ""},
    {"r", AxisPreceding, ""},
    {"d1", AxisPrecedingSibling, "?pi !k a2 a1"},
    {"a1@x", AxisPrecedingSibling, ""},
    // Forward axes.
    {"a1", AxisAttribute, "@id=a1 @x=1"},
    {"a1@x", AxisAttribute, ""},
    {"a1", AxisChild, "b1 b2"},  // never attributes or namespace nodes
    {"r", AxisChild, "a1 a2 !k ?pi d1"},
    {"/", AxisChild, "r"},
    {"a1@x", AxisChild, ""},
    {"a1", AxisDescendant, "b1 t:t1 b2 c1"},
    {"a1", AxisDescendantOrSelf, "a1 b1 t:t1 b2 c1"},
    {"b1/1", AxisDescendant, ""},
    {"b1/1", AxisDescendantOrSelf, "t:t1"},
    {"a1@x", AxisDescendant, ""},
    {"b1", AxisFollowing, "b2 c1 a2 b3 !k ?pi d1 a3 a4"},
    {"c1", AxisFollowing, "a2 b3 !k ?pi d1 a3 a4"},  // a last child: after its parents
    {"b1/1", AxisFollowing, "b2 c1 a2 b3 !k ?pi d1 a3 a4"},
    {"a1@x", AxisFollowing, "b1 t:t1 b2 c1 a2 b3 !k ?pi d1 a3 a4"},  // the element's content
    {"d1#1", AxisFollowing, "a3 a4"},
    {"r", AxisFollowing, ""},
    {"/", AxisFollowing, ""},
    {"b1", AxisFollowingSibling, "b2"},
    {"b2", AxisFollowingSibling, ""},
    {"a1@x", AxisFollowingSibling, ""},
    // Every element has its own namespace nodes: the xml prefix first, then what it
    // inherits and does not redeclare, then its own declarations.
    {"d1", AxisNamespace, "xmlns:xml=http://www.w3.org/XML/1998/namespace xmlns:p=urn:p2"},
    {"a4", AxisNamespace, "xmlns:xml=http://www.w3.org/XML/1998/namespace xmlns:p=urn:p2"},
    {"a1", AxisNamespace, "xmlns:xml=http://www.w3.org/XML/1998/namespace xmlns:p=urn:p"},
    {"d1#1", AxisParent, "d1"},
    {"a1@x", AxisNamespace, ""},
    {"/", AxisNamespace, ""},
    {"a3", AxisSelf, "a3"},
    {"a1@x", AxisSelf, "@x=1"},
    {"d1#1", AxisAncestor, "d1 r /"},
};

std::string walk(AxisIterator& axis, Node* start) {
  axis.reset(start);
  NodeVector nodes;
  while (Node* node = axis.next())
    nodes.push_back(node);
  EXPECT_EQ(axis.next(), nullptr) << "an exhausted axis stays exhausted";
  return labelsOf(nodes);
}

TEST(AxisIteratorTest, EveryAxisFromEveryKindOfStart) {
  // Tiny read buffers put chunk ends everywhere; the axes must not notice.
  for (std::size_t buffer : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4096}}) {
    TestDocument doc(kDocument, buffer);
    for (const AxisCase& c : kAxisCases) {
      Node* start = findNode(doc.root(), c.start);
      ASSERT_NE(start, nullptr) << c.start;
      auto axis = makeAxisIterator(c.axis);
      EXPECT_EQ(walk(*axis, start), c.expected)
          << "axis " << int(c.axis) << " from " << c.start << ", buffer " << buffer;
    }
  }
}

TEST(AxisIteratorTest, OneIteratorServesManyStarts) {
  TestDocument doc(kDocument);
  auto axis = makeAxisIterator(AxisPreceding);
  EXPECT_EQ(walk(*axis, findNode(doc.root(), "a4")), "?pi !k b3 a2 c1 b2 t:t1 b1 a1");
  EXPECT_EQ(walk(*axis, findNode(doc.root(), "b2")), "t:t1 b1");
  EXPECT_EQ(walk(*axis, nullptr), "");
  auto descendants = makeAxisIterator(AxisDescendantOrSelf);
  EXPECT_EQ(walk(*descendants, findNode(doc.root(), "b2")), "b2 c1");
  EXPECT_EQ(walk(*descendants, findNode(doc.root(), "a3")), "a3 a4");
}

TEST(AxisIteratorTest, ClassifiesAxes) {
  for (int code = int(AxisAncestor); code <= int(AxisSelf); ++code) {
    auto axis = TokenKind(code);
    bool reverse = axis == AxisAncestor || axis == AxisAncestorOrSelf || axis == AxisParent ||
                   axis == AxisPreceding || axis == AxisPrecedingSibling;
    bool subtree = axis == AxisChild || axis == AxisDescendant || axis == AxisDescendantOrSelf;
    EXPECT_EQ(isReverseAxis(axis), reverse) << code;
    EXPECT_EQ(makeAxisIterator(axis)->isReverseAxis(), reverse) << code;
    EXPECT_EQ(isSubtreeAxis(axis), subtree) << code;
    EXPECT_EQ(makeAxisIterator(axis)->isSubtreeAxis(), subtree) << code;
  }
}

TEST(AxisIteratorTest, DescendantsSkipSubtreesWithoutTheName) {
  TestDocument doc("<pr><pa><pb/></pa><pc><pd/><pe>x</pe></pc><pf><pd/></pf></pr>");
  StringRef wanted = intern("pd");
  for (const char* other : {"", "pr", "pa", "pb", "pc", "pe", "pf"}) {
    if (intern(other).bit() == wanted.bit())
      GTEST_SKIP() << "pd shares its name bit with '" << other << "'";
  }
  auto axis = makeAxisIterator(AxisDescendant);
  axis->setNameMask(wanted.bit());
  // pa and pe hold no pd and are skipped whole; pc and pf lead to one.
  EXPECT_EQ(walk(*axis, doc.root()), "pr pc pd pf pd");
  EXPECT_EQ(walk(*axis, findNode(doc.root(), "pr/1")), "");
}

TEST(AxisIteratorTest, IncompleteElementsMayHoldAnyName) {
  TestDocument doc("<r><a/><b/><c/></r>", 7);
  Node* r = doc.root()->firstChild();
  ASSERT_FALSE(r->isComplete());
  std::size_t chunks = doc.document().chunksParsed();
  EXPECT_TRUE(mayContainName(r, intern("zz-absent").bit()));
  EXPECT_EQ(doc.document().chunksParsed(), chunks) << "asking must not read further";
  doc.document().parseAll();
  EXPECT_TRUE(mayContainName(r, intern("b").bit()));
  EXPECT_TRUE(mayContainName(r, kAllNames));
}

}  // namespace
}  // namespace ovra
