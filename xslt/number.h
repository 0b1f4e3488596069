// xsl:number: counting the current node's place in the source tree (or taking a value
// given by an expression) and formatting the resulting list of numbers as text.
#pragma once

#include "xslt/avt.h"
#include "xslt/instruction.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

class PatternMatcher;

// How a list of numbers is written: the format string with its tokens ("1", "01", "a",
// "A", "i", "I", ...) and separators, and the digit grouping of decimal tokens.
struct NumberFormatOptions {
  std::string_view format = "1";
  // Grouping applies only with a non-empty separator and a positive size.
  std::string_view groupingSeparator;
  std::int32_t groupingSize = 0;
};

// Formats numbers, each a whole number not below zero, by the format string (UTF-8).
// A leading run of non-alphanumeric characters is the prefix, a trailing one the
// suffix; the runs between tokens separate the numbers. Numbers beyond the tokens use
// the last token and the last separator ("." when there is only one token). An unknown
// token, or a number an alphabetic or roman token cannot show, is written in decimal.
// An empty list gives empty text.
std::string formatNumberList(std::span<const double> numbers, const NumberFormatOptions& options);

enum class NumberLevel : std::uint8_t { Single, Multiple, Any };

using NodeTest = std::function<bool(Node*)>;

// Where xsl:number level="any" left off: a node and the count it got.
struct NumberMemo {
  Node* node = nullptr;
  double total = 0;
};

// The numbers that level and the patterns give for node, outermost first. Single and
// multiple give an empty list when no ancestor counts; any gives a zero. counts says whether a node
// matches the count pattern (or the default one), stops whether it matches the from pattern (never,
// without one).
//
// memo, for level any, carries the last node numbered with these same tests and its
// count: a walk that reaches that node adds its count and stops there, so numbering
// nodes in document order costs one pass over the document instead of one per node.
std::vector<double> countNodePlaces(Node* node, NumberLevel level, const NodeTest& counts,
                                    const NodeTest& stops, NumberMemo* memo = nullptr);

class NumberInstruction : public Instruction {
 public:
  // Reads level, count, from, value, format, lang, letter-value, grouping-separator and
  // grouping-size. A bad level, pattern or expression is a StylesheetException.
  NumberInstruction(const Stylesheet& stylesheet, Node* element);
  ~NumberInstruction() override;

  // Writes the formatted number as text. A value that is not a number, is infinite or
  // rounds below one is written as the string of the number, without the format.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  // Whether node is of the kind and expanded name of the current node.
  static bool sameKindAndName(const Node* node, const Node* current);
  std::unique_ptr<PatternMatcher> compileNumberPattern(const Node* attribute);
  std::unique_ptr<AttributeValueTemplate> compileTemplate(const Node* attribute) const;
  static std::string expanded(const AttributeValueTemplate* avt, const EvalContext& context,
                              std::string_view fallback);

  NumberLevel level_ = NumberLevel::Single;
  std::unique_ptr<PatternMatcher> count_;
  std::unique_ptr<PatternMatcher> from_;
  // Whether count and from match the same nodes in every call, so that level any may
  // continue from the count of an earlier call.
  bool samePatternsEveryCall_ = true;
  std::unique_ptr<Expr> value_;
  std::unique_ptr<AttributeValueTemplate> format_;
  std::unique_ptr<AttributeValueTemplate> groupingSeparator_;
  std::unique_ptr<AttributeValueTemplate> groupingSize_;
};

}  // namespace ovra
