// Template rules: the compiled xsl:template elements of a stylesheet, the choice of the
// template for a node in a mode, named lookup, and the built-in rules that apply when no
// template matches.
#pragma once

#include "base/string.h"
#include "tree/qname.h"

#include <cstdint>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ovra {

class Node;
class PatternMatcher;
class ResultSink;
class SyntaxNode;
class EvaluationHost;
struct Focus;

class Template;

// One alternative of a template's pattern. XSLT 1.0 section 5.5 treats a template whose
// pattern is a union as one template rule per alternative, each with the default priority
// of its own alternative unless the template gives one.
struct TemplateRule {
  const Template* owner;
  const SyntaxNode* pattern;  // a part of the owner's pattern
  std::unique_ptr<PatternMatcher> matcher;
  double priority;

  // Whether node matches. variables, when given, is what key() calls in the pattern reach
  // the run's keys through.
  bool matches(Node* node, EvaluationHost* variables) const;
};

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

  // The rules of the pattern, one per alternative of a union; none without a pattern.
  const std::vector<TemplateRule>& rules() const { return rules_; }
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
  // Parses and compiles the pattern; explicitPriority, when given, is every rule's.
  void readMatch(Node* attribute, const double* explicitPriority);
  // Splits pattern_ into its alternatives.
  void makeRules(const double* explicitPriority);

  std::unique_ptr<SyntaxNode> pattern_;
  std::vector<TemplateRule> rules_;
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
  // later in the stylesheet. variables: as for TemplateRule::matches.
  const Template* find(Node* node, const ExpandedName& mode,
                       EvaluationHost* variables = nullptr) const;
  // As find, but only among templates whose import precedence lies in [lowest, below):
  // the templates xsl:apply-imports may choose.
  const Template* findImported(Node* node, const ExpandedName& mode, std::int32_t lowest,
                               std::int32_t below, EvaluationHost* variables = nullptr) const;
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
  void addRule(const TemplateRule* rule);
  const TemplateRule* findIndexed(Node* node) const;

  // Every template, in the order added; owns them.
  std::vector<std::unique_ptr<Template>> all_;
  // Rules of the default mode at priority 0 whose pattern is just an element name in no
  // namespace, by interned local name (the text address). Among several for one name,
  // the one that ranks first; the others are in byPriority_.
  std::unordered_map<const char*, const TemplateRule*> nameIndex_;
  // The highest import precedence in nameIndex_.
  std::int32_t indexPrecedence_ = 0;
  // All other rules: decreasing import precedence and priority, later first among equals.
  std::vector<const TemplateRule*> byPriority_;
  // Names are interned: their addresses identify them.
  using NameKey = std::pair<const char*, const char*>;  // namespace URI, local name
  struct NameKeyHash {
    std::size_t operator()(const NameKey& key) const {
      auto h = std::uintptr_t(key.first) * 0x9E3779B97F4A7C15u ^ std::uintptr_t(key.second);
      return std::size_t(h ^ (h >> 29));
    }
  };
  // Of the templates of each name, the one of the highest import precedence, the later
  // among equals.
  std::unordered_map<NameKey, Template*, NameKeyHash> named_;
  // Every name with every import precedence it was declared at: a name may be declared
  // once per precedence.
  std::set<std::tuple<const char*, const char*, std::int32_t>> namePrecedences_;
};

}  // namespace ovra
