#include "xslt/node_construction.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/qname.h"
#include "xslt/attribute_sets.h"

#include <string>
#include <string_view>

namespace ovra {

static const char kElementWithoutName[] =
    "A name attribute must be provided for a element instruction";
static const char kUndeclaredElementPrefix[] =
    "Undeclared namespace prefix in the name of a element instruction, ";
static const char kAttributeWithoutName[] =
    "A name attribute must be provided for a attribute instruction";
static const char kUndeclaredAttributePrefix[] =
    "Undeclared namespace prefix in the name of a attribute instruction, ";
static const char kPIWithoutName[] =
    "A name attribute must be provided for a processing-instruction instruction";
static const char kEmptyElementName[] = "The name computed for a element instruction is empty";
static const char kEmptyAttributeName[] = "The name computed for a attribute instruction is empty";
static const char kEmptyPIName[] =
    "The name computed for a processing-instruction instruction is empty";
static const char kElementNameNotQName[] =
    "The name computed for a element instruction is not a QName, ";
static const char kAttributeNameNotQName[] =
    "The name computed for a attribute instruction is not a QName, ";
static const char kAttributeNamedXmlns[] =
    "The name computed for a attribute instruction can not be xmlns";
static const char kPINameNotNCName[] =
    "The name computed for a processing-instruction instruction is not an NCName, ";
static const char kPINamedXml[] =
    "The name computed for a processing-instruction instruction can not be xml, ";
static const char kPIDataRecovered[] =
    "A processing instruction can not hold ?>: a space was put after the ?";
static const char kCommentRecovered[] =
    "A comment can not hold -- nor end with -: a space was put after the -";

namespace {

std::unique_ptr<AttributeValueTemplate> compileTemplate(const Node* attribute,
                                                        const Node* element) {
  if (attribute == nullptr)
    return nullptr;
  // Like the templates of literal result attributes: reported with the stylesheet line.
  return reportedAt(attribute, [&] {
    return std::make_unique<AttributeValueTemplate>(attributeValue(attribute), element);
  });
}

// The name of a constructed element or attribute. With a namespace attribute its value
// is the namespace name and the prefix of qname is kept as it is; without one the prefix
// is resolved at the instruction element, where the default namespace applies to
// element names only.
ExpandedName constructedName(const Node* element, const String& qname,
                             const AttributeValueTemplate* namespaceTemplate,
                             const EvalContext& context, bool isElement) {
  // XSLT 1.0 sections 7.1.2 and 7.1.3: a name that is no QName would make the output
  // ill-formed, and an attribute named xmlns would be read back as a declaration.
  if (qname.empty())
    throw StylesheetException(locationOf(element),
                              isElement ? kEmptyElementName : kEmptyAttributeName);
  if (!isQName(qname.view()))
    throw StylesheetException(
        locationOf(element),
        String(isElement ? kElementNameNotQName : kAttributeNameNotQName).append(qname));
  if (!isElement && qname.view() == "xmlns")
    throw StylesheetException(locationOf(element), kAttributeNamedXmlns);
  std::string_view prefix = qnamePrefix(qname.view());
  if (namespaceTemplate == nullptr) {
    ExpandedName name = resolveQName(element, qname.view(), isElement);
    if (!prefix.empty() && name.namespaceURI.empty()) {
      String message(isElement ? kUndeclaredElementPrefix : kUndeclaredAttributePrefix);
      message.append(prefix);
      throw StylesheetException(locationOf(element), message);
    }
    return name;
  }
  String namespaceName = namespaceTemplate->expand(context);
  ExpandedName name;
  name.namespaceURI = intern(namespaceName.view());
  name.localName = intern(qnameLocalPart(qname.view()));
  // A prefix cannot stand for the empty namespace name.
  name.prefix = namespaceName.empty() ? emptyName() : intern(prefix);
  return name;
}

}  // namespace

// ---- xsl:element ----

ElementInstruction::ElementInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  const Node* name = attribute("name");
  if (name == nullptr)
    throw StylesheetException(locationOf(element), kElementWithoutName);
  name_ = compileTemplate(name, element);
  namespace_ = compileTemplate(attribute("namespace"), element);
  if (const Node* sets = attribute("use-attribute-sets"))
    attributeSets_ = readAttributeSetNames(element, sets);
}

ElementInstruction::~ElementInstruction() = default;

void ElementInstruction::execute(const Focus& focus, ResultSink& sink) const {
  EvalContext context = evalContext(focus, sink);
  ExpandedName name =
      constructedName(element(), name_->expand(context), namespace_.get(), context, true);
  // No attributes and no namespace nodes: the body adds what the element gets.
  auto result = std::make_unique<ElementNode>(name.namespaceURI, name.localName, name.prefix,
                                              element()->lineNumber(), /*complete=*/true);
  std::uint8_t flag = sink.startNode(result.get());
  useAttributeSets(stylesheet(), attributeSets_, focus, sink);
  sink.executeChildren(element(), focus);
  sink.endNode(flag, result.get());
}

// ---- xsl:attribute ----

AttributeInstruction::AttributeInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  const Node* name = attribute("name");
  if (name == nullptr)
    throw StylesheetException(locationOf(element), kAttributeWithoutName);
  name_ = compileTemplate(name, element);
  namespace_ = compileTemplate(attribute("namespace"), element);
}

AttributeInstruction::~AttributeInstruction() = default;

// The text a body writes, gathered in a result tree of its own.
static std::string bodyText(Node* element, const Focus& focus, const ResultSink& sink) {
  TreeResultSink content(sink.variables(), &sink.run());
  content.executeChildren(element, focus);
  return content.textContent();
}

void AttributeInstruction::execute(const Focus& focus, ResultSink& sink) const {
  EvalContext context = evalContext(focus, sink);
  ExpandedName name =
      constructedName(element(), name_->expand(context), namespace_.get(), context, false);
  if (!placesAttribute(sink, name.localName.view()))
    return;
  // The value is final: sinks take attribute values literally, so braces in it stay.
  std::unique_ptr<AttributeNode> attribute(AttributeNode::makeOwned(
      name.namespaceURI, name.prefix, name.localName, bodyText(element(), focus, sink)));
  sink.endNode(sink.startNode(attribute.get()), attribute.get());
}

// ---- xsl:processing-instruction ----

ProcessingInstructionInstruction::ProcessingInstructionInstruction(const Stylesheet& stylesheet,
                                                                   Node* element)
    : Instruction(stylesheet, element) {
  const Node* name = attribute("name");
  if (name == nullptr)
    throw StylesheetException(locationOf(element), kPIWithoutName);
  name_ = compileTemplate(name, element);
}

ProcessingInstructionInstruction::~ProcessingInstructionInstruction() = default;

void ProcessingInstructionInstruction::execute(const Focus& focus, ResultSink& sink) const {
  String target = name_->expand(evalContext(focus, sink));
  if (target.empty())
    fail(kEmptyPIName);
  // XSLT 1.0 section 7.3; names matching xml in any case are reserved (XML's PITarget).
  if (!isNCName(target.view()))
    fail(String(kPINameNotNCName).append(target));
  if (target.length() == 3 && (target.c_str()[0] | 0x20) == 'x' &&
      (target.c_str()[1] | 0x20) == 'm' && (target.c_str()[2] | 0x20) == 'l')
    fail(String(kPINamedXml).append(target));
  std::string data = bodyText(element(), focus, sink);
  if (data.find("?>") != std::string::npos) {
    warn(kPIDataRecovered);
    std::string safe;
    for (std::size_t i = 0; i < data.size(); ++i) {
      safe += data[i];
      if (data[i] == '?' && i + 1 < data.size() && data[i + 1] == '>')
        safe += ' ';
    }
    data = std::move(safe);
  }
  std::unique_ptr<ProcessingInstructionNode> instruction(
      ProcessingInstructionNode::makeOwned(target.view(), data));
  sink.endNode(sink.startNode(instruction.get()), instruction.get());
}

// ---- xsl:comment ----

CommentInstruction::CommentInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {}

CommentInstruction::~CommentInstruction() = default;

void CommentInstruction::execute(const Focus& focus, ResultSink& sink) const {
  TreeResultSink content(sink.variables(), &sink.run());
  content.executeChildren(element(), focus);
  std::shared_ptr<Node> tree = content.takeTree();
  // Only text belongs in a comment: elements and the like that the body makes are
  // dropped with their content, as other processors do.
  std::string text;
  for (Node* child = tree->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (child->kind() == NodeKind::Text)
      text.append(static_cast<const TextNode*>(child)->textView());
  }
  std::string safe = commentSafeText(text);
  if (safe.size() != text.size())
    warn(kCommentRecovered);
  std::unique_ptr<CommentNode> comment(CommentNode::makeOwned(safe));
  sink.endNode(sink.startNode(comment.get()), comment.get());
}

std::string commentSafeText(std::string_view text) {
  std::string safe;
  safe.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    safe.push_back(text[i]);
    if (text[i] == '-' && (i + 1 == text.size() || text[i + 1] == '-'))
      safe.push_back(' ');
  }
  return safe;
}

}  // namespace ovra
