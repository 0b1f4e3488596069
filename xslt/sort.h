// xsl:sort: the keys by which xsl:for-each and xsl:apply-templates order the selected
// nodes before processing them. The owning instruction compiles its xsl:sort children
// into SortKeys and sorts; the xsl:sort element itself only checks where it stands.
#pragma once

#include "xpath/expr.h"
#include "xslt/avt.h"
#include "xslt/instruction.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace ovra {

enum class SortOrder : std::uint8_t { Ascending = 0, Descending = 1 };
enum class SortDataType : std::uint8_t { Text = 0, Number = 1 };
// Default: strings that differ only in case keep lower case first, as lower-first does.
enum class CaseOrder : std::uint8_t { Default = 0, UpperFirst = 1, LowerFirst = 2 };

// Text order: code points compared with case folded (ASCII, Latin-1, Greek and Cyrillic
// letters) and white space passed over; for strings equal so, the first letter that
// differs in case decides by the case order; for strings equal but for white space, the
// shorter, or the one whose first difference is not white space, comes first. Negative,
// zero or positive like strcmp.
int compareSortText(std::string_view a, std::string_view b, CaseOrder caseOrder);
// Number order: NaN before every number; equal numbers (0 and -0 too) compare equal.
int compareSortNumbers(double a, double b);

// The xsl:sort children of one for-each or apply-templates, in document order.
class SortKeys {
 public:
  // Compiles the xsl:sort children of owner (for-each: only those before its body).
  // Throws StylesheetException or XPathParseException for an invalid xsl:sort.
  explicit SortKeys(Node* owner);
  SortKeys(const SortKeys&) = delete;
  SortKeys& operator=(const SortKeys&) = delete;
  ~SortKeys();

  bool empty() const { return keys_.empty(); }

  // Reorders nodes, stably, by the keys in turn. Options written as attribute value
  // templates are expanded in outer (the owner's context); each key's select is
  // evaluated with the node as context and current node, its position in nodes as
  // position and their number as size. Bad option values throw StylesheetException at
  // the xsl:sort element.
  void sort(NodeVector& nodes, const EvalContext& outer) const;

 private:
  struct Key {
    Node* element = nullptr;
    std::unique_ptr<Expr> select;  // null: the node's string value
    // Each option is either fixed when compiled or a template expanded at each sort.
    SortOrder order = SortOrder::Ascending;
    SortDataType dataType = SortDataType::Text;
    CaseOrder caseOrder = CaseOrder::Default;
    std::unique_ptr<AttributeValueTemplate> orderTemplate;
    std::unique_ptr<AttributeValueTemplate> dataTypeTemplate;
    std::unique_ptr<AttributeValueTemplate> caseOrderTemplate;
  };
  struct Options {
    SortOrder order;
    SortDataType dataType;
    CaseOrder caseOrder;
  };

  Key compileKey(Node* element) const;
  Options optionsOf(const Key& key, const EvalContext& outer) const;

  std::vector<Key> keys_;
};

// The xsl:sort element: accepted first in an xsl:for-each and among the children of an
// xsl:apply-templates, refused anywhere else. Running it does nothing.
class SortInstruction : public Instruction {
 public:
  SortInstruction(const Stylesheet& stylesheet, Node* element);
  ~SortInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;
};

}  // namespace ovra
