// Attribute value templates: text with expressions in braces, compiled once when the
// stylesheet loads and expanded at each use.
#pragma once

#include "base/string.h"
#include "tree/node.h"
#include "xpath/expr.h"

#include <memory>
#include <string_view>
#include <vector>

namespace ovra {

class AttributeValueTemplate : public Attachment {
 public:
  // Compiles value with the namespaces in scope at namespaceContext. "{{" and "}}" stand
  // for one brace. Throws XPathParseException for a bad expression and for a brace that
  // is neither doubled nor part of an expression.
  AttributeValueTemplate(std::string_view value, const Node* namespaceContext);
  ~AttributeValueTemplate() override;

  // True when the value holds no expression (expansion just returns the text).
  bool isConstant() const { return parts_.size() <= 1 && (parts_.empty() || !parts_[0].expr); }
  String expand(const EvalContext& context) const;

 private:
  struct Part {
    String text;  // literal text, used when expr is null
    std::unique_ptr<Expr> expr;
  };
  std::vector<Part> parts_;
};

}  // namespace ovra
