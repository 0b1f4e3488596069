// What every compiled XSLT instruction shares: the element it was compiled from, the
// attribute scan of its compile routine and the evaluation context of its expressions.
// Instructions are immutable after compilation, so a recursive template may run one
// again while an outer execution of it is still in progress.
#pragma once

#include "base/exceptions.h"
#include "base/string.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/qname.h"
#include "xpath/expr.h"
#include "xslt/result_sink.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra {

class Stylesheet;

// The classification of a stylesheet node, by the local name of an element in the XSLT
// namespace, or by the expanded name of an extension element.
enum class InstructionKind : std::uint8_t {
  Stylesheet = 0,  // "stylesheet", "transform"
  Template = 1,
  Output = 2,
  ValueOf = 3,
  ApplyTemplates = 4,
  If = 5,
  Choose = 6,
  When = 7,
  Otherwise = 8,
  Variable = 9,
  Param = 10,
  CallTemplate = 13,
  WithParam = 14,
  ForEach = 15,
  Copy = 16,
  CopyOf = 17,
  Message = 18,
  Text = 19,
  ProcessingInstruction = 20,
  Element = 21,
  Attribute = 22,
  Unknown = 23,  // any other name in the XSLT namespace
  Literal = 24,  // not an element, or an element outside the XSLT namespace
  Sort = 25,
  Key = 26,
  Number = 27,
  Import = 28,
  Include = 29,
  ApplyImports = 30,
  AttributeSet = 34,
  NamespaceAlias = 36,
  Comment = 31,
  StripSpace = 32,
  PreserveSpace = 33,
  DecimalFormat = 35,
  Fallback = 37,
  // Extension elements (XSLT 1.0 section 14.1) of the EXSLT modules; classify() never
  // answers these, which depend on the extension-element-prefixes in scope.
  ExsltDocument = 38,  // exsl:document
  ExsltFunction = 39,  // func:function, a top-level declaration
  ExsltResult = 40,    // func:result
};

// Where an XSLT element may stand, as bits: a row may allow several places.
enum class ElementPlace : std::uint8_t {
  Root = 1,      // the stylesheet element itself
  TopLevel = 2,  // a child of the stylesheet element
  Body = 4,      // in a template body: an instruction
  Child = 8,     // a child of one of the elements its row names
};

class Instruction;
using InstructionFactory = std::unique_ptr<Instruction> (*)(const Stylesheet&, Node*,
                                                            InstructionKind);

// Everything the processor knows about one XSLT element, in one row; every list of
// elements (by kind, by place, with an instruction) is derived from the table of these.
struct XsltElement {
  std::string_view localName;
  InstructionKind kind;
  std::uint8_t places;          // ElementPlace bits
  std::string_view parents;     // for Child: the local names of the parents, space separated
  std::string_view attributes;  // the attributes in no namespace it takes, space separated
  InstructionFactory factory;   // null when no instruction is compiled for it
  // XSLT's elements are the processor's own; those of other namespaces are extension
  // elements, instructions only where extension-element-prefixes designates theirs.
  std::string_view namespaceURI = kXsltNamespace;

  bool allows(ElementPlace place) const { return (places & std::uint8_t(place)) != 0; }
  bool takesAttribute(std::string_view name) const;
};

// The local names of the XSLT elements this processor knows, with their rows. Built
// once (the process-wide table at start-up) and only read afterwards.
class XsltKeywordTable {
 public:
  XsltKeywordTable();
  // The row of a local name; null when it is not an XSLT element this processor knows.
  const XsltElement* row(std::string_view localName) const;
  // The same for a name interned in the process-wide pool, found by its address.
  const XsltElement* rowInterned(StringRef localName) const;
  // The row of a kind; null for Unknown and Literal.
  const XsltElement* row(InstructionKind kind) const;
  // The row of an extension element (or of the top-level element of an extension
  // namespace); null when no row has that expanded name.
  const XsltElement* extensionRow(std::string_view namespaceURI, std::string_view localName) const;
  // The kind of a local name, Unknown when no row has it.
  InstructionKind find(std::string_view localName) const;
  InstructionKind findInterned(StringRef localName) const;
  std::size_t size() const { return table_.size(); }

  static const XsltKeywordTable& global();

 private:
  std::unordered_map<std::string_view, const XsltElement*, TextHash> table_;
  // Classifying runs at every call of a template, so known names are also looked up
  // by address, without hashing their text.
  std::unordered_map<const char*, const XsltElement*> interned_;
  std::vector<const XsltElement*> extensions_;
  // The first row of each kind: compiling asks for one at every element.
  std::array<const XsltElement*, 256> byKind_{};
};

// Literal for anything that is not an element in the XSLT namespace; otherwise the kind
// of its local name, Unknown when the table does not know it.
InstructionKind classify(const Node* node);
// Kinds that get a compiled instruction.
bool isInstructionKind(InstructionKind kind);
// True when the expanded name is that of an instruction (an element that may stand in a
// template body, as opposed to top-level declarations and the parts of other elements)
// that this processor implements, of XSLT or an extension: what element-available()
// answers.
bool isAvailableInstruction(std::string_view namespaceURI, std::string_view localName);

// What to do with an attribute in no namespace that an XSLT element does not take.
enum class UnknownAttributes : std::uint8_t {
  Warn = 0,   // a warning naming it, then ignored (what xsltproc does)
  Error = 1,  // a StylesheetException at the attribute
};

// Checks that element, of a known XSLT kind, stands where its row allows and takes each
// of its attributes. topLevel: element is a child of the stylesheet element. Unknown
// attributes are ignored without a word in forwards-compatible mode. Throws
// StylesheetException.
void checkXsltElement(const Node* element, bool topLevel, UnknownAttributes unknown);

// The compiled instruction of an element that extension-element-prefixes designates as an
// extension element: the one its row makes, or, for an element no row implements, one
// that runs its xsl:fallback children. Attributes its row does not take are reported as
// for XSLT elements. Throws StylesheetException or XPathParseException.
std::unique_ptr<Instruction> compileExtensionElement(const Stylesheet& stylesheet, Node* element,
                                                     UnknownAttributes unknown);

// Reports a warning at a node of the stylesheet (its file and line).
void warnAt(const Node* node, std::string_view text);

// The attribute of an XSLT element in no namespace of that name, or null; the element's
// other attributes were checked when the stylesheet was compiled.
Node* xsltAttribute(const Node* element, std::string_view name);

// A QName-valued attribute of a stylesheet element (a name, a mode) resolved at element,
// the default namespace not applied. A value that is no QName, or whose prefix no
// declaration binds, is an error at the attribute: the name could match nothing the
// stylesheet means (XSLT 1.0 section 2.4). An empty value gives the empty name.
ExpandedName readQNameAttribute(const Node* element, const Node* attribute);

class Instruction : public Attachment {
 public:
  // stylesheet is not owned and outlives every Instruction; element is a node of the
  // stylesheet's own tree.
  Instruction(const Stylesheet& stylesheet, Node* element)
      : stylesheet_(&stylesheet), element_(element) {}
  ~Instruction() override;

  virtual void execute(const Focus& focus, ResultSink& sink) const = 0;

  Node* element() const { return element_; }
  const Stylesheet& stylesheet() const { return *stylesheet_; }

 protected:
  // The context for this instruction's expressions at focus.
  EvalContext evalContext(const Focus& focus, const ResultSink& sink) const;
  // Compiles an attribute's value with this element's namespaces; XPath errors pass
  // through unchanged unless the caller converts them.
  std::unique_ptr<Expr> compileExpression(const Node* attribute) const;
  // "yes" or "no" exactly; anything else throws StylesheetException(message) at the
  // attribute.
  bool readYesNo(const Node* attribute, const char* message) const;
  // A QName-valued attribute resolved at this element (default namespace not applied).
  ExpandedName readQName(const Node* attribute) const;
  // The attribute of this element in no namespace of that name, or null.
  Node* attribute(std::string_view name) const { return xsltAttribute(element_, name); }
  // Throws StylesheetException(text) at this instruction's element: the place of every
  // run-time error of an instruction.
  [[noreturn]] void fail(const ConstString& text) const;
  // Reports a warning at this instruction's element: where an error of the stylesheet is
  // recovered from as the Recommendation allows.
  void warn(std::string_view text) const;
  // Whether sink can take an attribute now; warns that name is left out when it cannot
  // (XSLT 1.0 section 7.1.3: an attribute comes before the children of an element).
  bool placesAttribute(const ResultSink& sink, std::string_view name) const;

 private:
  const Stylesheet* stylesheet_;
  Node* element_;
};

// The compiled instruction for an element of an instruction kind. Throws
// StylesheetException or XPathParseException for an invalid element.
std::unique_ptr<Instruction> compileInstruction(InstructionKind kind, const Stylesheet& stylesheet,
                                                Node* element);

// The value of an attribute node as text.
std::string_view attributeValue(const Node* attribute);

// cause as a StylesheetException at the attribute, showing the attribute's value as the
// expression where cause does not know its text (a match pattern that parses as an
// expression but is no pattern).
StylesheetException errorAtAttribute(const Node* attribute, const XSLException& cause);

// What compile returns; any other error it throws becomes a StylesheetException at place,
// so that the message names the stylesheet file and line. A StylesheetException passes
// unchanged.
template <typename Compile>
auto reportedAt(const Node* place, Compile&& compile) -> decltype(compile()) {
  try {
    return compile();
  } catch (const StylesheetException&) {
    throw;
  } catch (const XSLException& error) {
    throw StylesheetException(locationOf(place), error);
  }
}

}  // namespace ovra
