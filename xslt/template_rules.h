// Template rules: the compiled xsl:template elements of a stylesheet, the choice of the
// template for a node in a mode, named lookup, and the built-in rules that apply when no
// template matches.
#pragma once

#include "base/string.h"
#include "xpath/runtime/qname.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace ovra {

class Node;
class PatternMatcher;
class ResultSink;
class SyntaxNode;
class VariableLookup;
struct Focus;

class Template {
 public:
  // Reads the attributes of an xsl:template element (name, match, priority, mode).
  // Throws StylesheetException at the offending attribute: a bad priority, an unknown
  // attribute, a pattern that does not parse or is not a pattern, a variable reference
  // in the pattern.
  explicit Template(Node* element);
  // The single template of a simplified stylesheet: it matches the root node, and its
  // body is the document element itself, so its element is the stylesheet's root node.
  static std::unique_ptr<Template> makeSimplified(Node* stylesheetRoot);
  Template(const Template&) = delete;
  Template& operator=(const Template&) = delete;
  ~Template();

  // Whether node matches the pattern; always false without one. variables, when given,
  // is what key() calls in the pattern reach the run's keys through.
  bool matches(Node* node, VariableLookup* variables = nullptr) const;

  double priority() const { return priority_; }
  bool hasPattern() const { return matcher_ != nullptr; }
  const SyntaxNode* pattern() const { return pattern_.get(); }
  // The node whose children are the body (an xsl:template element, or the stylesheet's
  // root node for a simplified stylesheet).
  Node* element() const { return element_; }
  const ExpandedName& name() const { return name_; }
  const ExpandedName& mode() const { return mode_; }

  // The import precedence of the stylesheet module the template comes from (higher wins
  // over any priority), and the lowest precedence among the modules that module imports,
  // directly or further down: xsl:apply-imports looks at templates from
  // [lowestImported, precedence). A single stylesheet file has precedence 0 throughout.
  void setImportPrecedence(std::int32_t precedence, std::int32_t lowestImported) {
    precedence_ = precedence;
    lowestImported_ = lowestImported;
  }
  std::int32_t precedence() const { return precedence_; }
  std::int32_t lowestImported() const { return lowestImported_; }
  // The order in which TemplateRules received the template: among equal precedence and
  // priority, the later one wins.
  std::uint32_t order() const { return order_; }

 private:
  friend class TemplateRules;

  Template() = default;
  void readMatch(Node* attribute);

  double priority_ = 0;
  std::unique_ptr<SyntaxNode> pattern_;
  std::unique_ptr<PatternMatcher> matcher_;
  Node* element_ = nullptr;  // a node of the stylesheet's tree, which outlives this
  ExpandedName name_;
  ExpandedName mode_;
  std::int32_t precedence_ = 0;
  std::int32_t lowestImported_ = 0;
  std::uint32_t order_ = 0;
};

// Owns every template of one stylesheet. Filled while the stylesheet loads, only read
// during runs.
class TemplateRules {
 public:
  TemplateRules();
  TemplateRules(const TemplateRules&) = delete;
  TemplateRules& operator=(const TemplateRules&) = delete;
  ~TemplateRules();

  // Files template; called in document order (included files in place of their
  // xsl:include), modules of lower import precedence first.
  void add(std::unique_ptr<Template> added);

  // The template for node in mode (the empty name is the default mode), or null: the
  // highest import precedence wins, then the highest priority, and among equals the one
  // later in the stylesheet. variables: as for Template::matches.
  const Template* find(Node* node, const ExpandedName& mode,
                       VariableLookup* variables = nullptr) const;
  // As find, but only among templates whose import precedence lies in [lowest, below):
  // the templates xsl:apply-imports may choose.
  const Template* findImported(Node* node, const ExpandedName& mode, std::int32_t lowest,
                               std::int32_t below, VariableLookup* variables = nullptr) const;
  // The template of that name, or null; among several, the one find would rank first.
  const Template* findByName(const ExpandedName& name) const;

  // Runs the body of chosen for focus, as the current template rule.
  static void apply(const Template& chosen, const Focus& focus, ResultSink& sink);
  // The template for focus.node in mode if there is one, else the built-in rules.
  void applyTemplates(const Focus& focus, const ExpandedName& mode, ResultSink& sink) const;
  // The built-in rules: roots and elements apply templates to their children in the same
  // mode (each child gets its 1-based position among the children and their count),
  // text is copied, an attribute is written as its value, anything else gives nothing.
  // Descending through elements without templates does not recurse, however deep the
  // source is.
  void applyBuiltIn(const Focus& focus, const ExpandedName& mode, ResultSink& sink) const;

  std::size_t size() const { return all_.size(); }

 private:
  void insertByPriority(Template* entry);
  const Template* findIndexed(Node* node) const;

  // Every template, in the order added; owns them.
  std::vector<std::unique_ptr<Template>> all_;
  // Templates of the default mode at priority 0 whose pattern is just a list of element
  // names in no namespace, by interned local name (the text address).
  // Among several for one name, the one that ranks first; the others are in byPriority_.
  std::unordered_map<const char*, Template*> nameIndex_;
  // The highest import precedence in nameIndex_.
  std::int32_t indexPrecedence_ = 0;
  // All other templates with a pattern or name: decreasing priority, later first among
  // equals.
  std::vector<Template*> byPriority_;
  // Templates with a name, in the same order as byPriority_ (the name index's included).
  std::vector<Template*> named_;
};

}  // namespace ovra
