#include "xslt/template_rules.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/parser.h"
#include "xpath/pattern.h"
#include "xpath/syntax.h"
#include "xslt/functions.h"
#include "xslt/instruction.h"
#include "xslt/result_sink.h"
#include "xslt/transform.h"
#include "xslt/variable_scope.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace ovra {

static constexpr char kPriorityNotNumber[] = "priority must be a number";
static constexpr char kWithoutMatchOrName[] =
    "A match or a name attribute must be provided for a template";
static constexpr char kNamedTwice[] =
    "A template of this name is declared twice with the same import precedence, ";
static constexpr char kVariableInPattern[] =
    "A match pattern can not refer to variables or parameters";

namespace {

// Modes and names: an absent name and an empty one are the same.
bool sameName(const ExpandedName& a, const ExpandedName& b) {
  return a.empty() ? b.empty() : a == b;
}

// Before: higher import precedence first, then higher priority; among equals, later in
// the stylesheet first.
bool ranksBefore(const TemplateRule* a, const TemplateRule* b) {
  if (a->owner->precedence() != b->owner->precedence())
    return a->owner->precedence() > b->owner->precedence();
  if (a->priority != b->priority)
    return a->priority > b->priority;
  return a->owner->order() > b->owner->order();
}

// Among templates of one name, the higher import precedence wins, then the later one.
bool namedBefore(const Template* a, const Template* b) {
  if (a->precedence() != b->precedence())
    return a->precedence() > b->precedence();
  return a->order() > b->order();
}

// list is ranked already: the entry goes after every one it does not rank before, found
// by halving (DocBook's 2,000 rules were a quarter of a million comparisons).
template <typename T, typename Before>
void insertRanked(std::vector<T*>& list, T* entry, Before before) {
  list.insert(std::upper_bound(list.begin(), list.end(), entry, before), entry);
}

// The alternatives of a union pattern, left to right; a pattern that is no union is its
// own single alternative.
std::vector<const SyntaxNode*> alternativesOf(const SyntaxNode& pattern) {
  std::vector<const SyntaxNode*> alternatives;
  const SyntaxNode* node = &pattern;
  while (node->kind() == SyntaxKind::BinaryOp &&
         static_cast<const BinaryOpNode*>(node)->op() == TokenKind::Union) {
    const auto* op = static_cast<const BinaryOpNode*>(node);
    alternatives.push_back(&op->right());
    node = &op->left();
  }
  alternatives.push_back(node);
  std::reverse(alternatives.begin(), alternatives.end());
  return alternatives;
}

}  // namespace

// ---- Template ----

Template::Template(Node* element) : element_(element) {
  Node* match = nullptr;
  double priority = 0;
  bool explicitPriority = false;
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (!attribute->namespaceURI().empty())
      continue;
    std::string_view local = attribute->localName().view();
    std::string_view value = attributeValue(attribute);
    if (local == "name") {
      name_ = readQNameAttribute(element, attribute);
    } else if (local == "match") {
      match = attribute;
    } else if (local == "priority") {
      std::string text(value);
      char* end = nullptr;
      priority = std::strtod(text.c_str(), &end);
      // NaN would leave the rules without an order.
      if (end == text.c_str() || std::isnan(priority))
        throw StylesheetException(locationOf(attribute), kPriorityNotNumber);
      explicitPriority = true;
    } else if (local == "mode") {
      mode_ = readQNameAttribute(element, attribute);
    }
  }
  if (name_.empty())
    name_ = ExpandedName();
  if (mode_.empty())
    mode_ = ExpandedName();
  if (match != nullptr)
    readMatch(match, explicitPriority ? &priority : nullptr);
  else if (name_.empty())
    throw StylesheetException(locationOf(element), kWithoutMatchOrName);
}

std::unique_ptr<Template> Template::makeSimplified(Node* stylesheetRoot) {
  std::unique_ptr<Template> made(new Template());
  made->element_ = stylesheetRoot;
  made->pattern_ = parseXPath("/", nullptr);
  made->makeRules(nullptr);
  return made;
}

Template::~Template() = default;

void Template::readMatch(Node* attribute, const double* explicitPriority) {
  try {
    pattern_ = parseXPath(attributeValue(attribute), element_, xsltFunctions());
    if (refersToVariable(*pattern_))
      throw StylesheetException(locationOf(attribute), kVariableInPattern);
    makeRules(explicitPriority);
  } catch (const XPathParseException& error) {
    throw errorAtAttribute(attribute, error);
  } catch (const EvaluateException& error) {
    throw errorAtAttribute(attribute, error);
  }
}

void Template::makeRules(const double* explicitPriority) {
  for (const SyntaxNode* alternative : alternativesOf(*pattern_)) {
    double priority = explicitPriority ? *explicitPriority : alternative->defaultPriority();
    rules_.push_back(TemplateRule{this, alternative, alternative->compilePattern(), priority});
  }
}

bool TemplateRule::matches(Node* node, EvaluationHost* variables) const {
  EvalContext context;
  context.host = variables;
  context.contextNode = node;
  context.currentNode = node;
  context.stylesheetElement = owner->element();
  return matcher->matches(node, context);
}

// ---- TemplateRules ----

TemplateRules::TemplateRules() = default;
TemplateRules::~TemplateRules() = default;

void TemplateRules::add(std::unique_ptr<Template> added) {
  Template* entry = added.get();
  entry->order_ = std::uint32_t(all_.size());
  all_.push_back(std::move(added));
  if (!entry->name().empty()) {
    const char* uri = entry->name().namespaceURI.c_str();
    const char* local = entry->name().localName.c_str();
    // XSLT 1.0 section 6: only a higher import precedence may declare a name again.
    if (!namePrecedences_.emplace(uri, local, entry->precedence()).second) {
      Node* name = xsltAttribute(entry->element(), "name");
      throw StylesheetException(locationOf(name), String(kNamedTwice).append(attributeValue(name)));
    }
    Template*& slot = named_[NameKey{uri, local}];
    if (slot == nullptr || namedBefore(entry, slot))
      slot = entry;
  }
  for (const TemplateRule& rule : entry->rules())
    addRule(&rule);
}

void TemplateRules::addRule(const TemplateRule* rule) {
  std::vector<StringRef> names;
  if (rule->owner->mode().empty() && rule->priority == 0 && rule->pattern->collectNames(names) &&
      names.size() == 1) {
    // The rule that ranks first for a name takes the entry; the other goes to the
    // priority list, where xsl:apply-imports can still find it.
    const TemplateRule*& slot = nameIndex_[names.front().c_str()];
    if (slot == nullptr || ranksBefore(rule, slot)) {
      if (slot != nullptr)
        insertRanked(byPriority_, slot, ranksBefore);
      slot = rule;
    } else {
      insertRanked(byPriority_, rule, ranksBefore);
    }
    indexPrecedence_ = std::max(indexPrecedence_, rule->owner->precedence());
    return;
  }
  insertRanked(byPriority_, rule, ranksBefore);
}

const TemplateRule* TemplateRules::findIndexed(Node* node) const {
  // The index holds patterns of element names in no namespace.
  if (node->kind() != NodeKind::Element || !node->namespaceURI().empty() || nameIndex_.empty())
    return nullptr;
  auto it = nameIndex_.find(node->localName().c_str());
  return it == nameIndex_.end() ? nullptr : it->second;
}

const Template* TemplateRules::find(Node* node, const ExpandedName& mode,
                                    EvaluationHost* variables) const {
  bool defaultMode = mode.empty();
  // The name index stands at priority 0: it is consulted when the walk reaches the
  // templates at priority 0, and its template wins over those that come earlier in the
  // stylesheet.
  bool indexConsulted = !defaultMode;
  const TemplateRule* indexed = nullptr;
  for (const TemplateRule* candidate : byPriority_) {
    // The walk reaches the place of the indexed rules of the highest precedence.
    if (!indexConsulted &&
        (candidate->owner->precedence() < indexPrecedence_ ||
         (candidate->owner->precedence() == indexPrecedence_ && candidate->priority <= 0))) {
      indexConsulted = true;
      indexed = findIndexed(node);
    }
    if (indexed != nullptr && !ranksBefore(candidate, indexed))
      return indexed->owner;
    if (sameName(candidate->owner->mode(), mode) && candidate->matches(node, variables))
      return candidate->owner;
  }
  if (!indexConsulted)
    indexed = findIndexed(node);
  return indexed != nullptr ? indexed->owner : nullptr;
}

const Template* TemplateRules::findImported(Node* node, const ExpandedName& mode,
                                            std::int32_t lowest, std::int32_t below,
                                            EvaluationHost* variables) const {
  // Rare enough to try every template; the best-ranked match wins.
  const TemplateRule* best = nullptr;
  for (const auto& owned : all_) {
    const Template* candidate = owned.get();
    if (candidate->precedence() < lowest || candidate->precedence() >= below ||
        !sameName(candidate->mode(), mode))
      continue;
    for (const TemplateRule& rule : candidate->rules()) {
      if ((best == nullptr || ranksBefore(&rule, best)) && rule.matches(node, variables))
        best = &rule;
    }
  }
  return best != nullptr ? best->owner : nullptr;
}

const Template* TemplateRules::findByName(const ExpandedName& name) const {
  if (name.empty())
    return nullptr;
  auto found = named_.find(NameKey{name.namespaceURI.c_str(), name.localName.c_str()});
  return found == named_.end() ? nullptr : found->second;
}

void TemplateRules::apply(const Template& chosen, const Focus& focus, ResultSink& sink) {
  Transformation::RuleScope rule(sink.run(), &chosen);
  sink.executeChildren(chosen.element(), focus);
}

void TemplateRules::applyTemplates(const Focus& focus, const ExpandedName& mode,
                                   ResultSink& sink) const {
  if (const Template* chosen = find(focus.node, mode, sink.variables()))
    apply(*chosen, focus, sink);
  else
    applyBuiltIn(focus, mode, sink);
}

void TemplateRules::applyBuiltIn(const Focus& focus, const ExpandedName& mode,
                                 ResultSink& sink) const {
  Node* node = focus.node;
  switch (node->kind()) {
  case NodeKind::Text:
    sink.endNode(sink.startNode(node), node);
    return;
  case NodeKind::Attribute: {
    std::string_view value = attributeValue(node);
    TextNode text(value.data(), value.size());
    sink.endNode(sink.startNode(&text), &text);
    return;
  }
  case NodeKind::Comment:
  case NodeKind::ProcessingInstruction:
  case NodeKind::Namespace:
    return;
  case NodeKind::Root:
  case NodeKind::Element:
    break;
  }
  // Elements without a template of their own are descended into here rather than by
  // recursion, so a source of any depth is safe; only templates nest calls.
  struct Level {
    Node* next;  // the next child to process
    std::int32_t position;
    std::int32_t size;
  };
  auto levelOf = [](Node* parent) {
    std::int32_t size = 0;
    for (Node* child = parent->firstChild(); child != nullptr; child = child->nextSibling())
      ++size;
    return Level{parent->firstChild(), 1, size};
  };
  // Parameters passed to the node do not reach the templates of its children.
  CleanVariableScope clean(sink);
  std::vector<Level> levels{levelOf(node)};
  while (!levels.empty()) {
    Level& level = levels.back();
    Node* child = level.next;
    if (child == nullptr) {
      levels.pop_back();
      continue;
    }
    Focus childFocus{child, level.position, level.size};
    level.next = child->nextSibling();
    ++level.position;
    if (const Template* chosen = find(child, mode, sink.variables())) {
      Transformation::TemplateScope scope(sink.run(), chosen->element());
      apply(*chosen, childFocus, sink);
    } else if (child->kind() == NodeKind::Element) {
      levels.push_back(levelOf(child));
    } else if (child->kind() == NodeKind::Text) {
      sink.endNode(sink.startNode(child), child);
    }
  }
}

}  // namespace ovra
