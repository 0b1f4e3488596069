#include "xslt/space_rules.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/qname.h"
#include "xslt/instruction.h"

#include <functional>

namespace ovra {

static const char kNoElements[] =
    "The elements attribute is required on strip-space and preserve-space";
static const char kUndeclaredPrefix[] =
    "Undeclared namespace prefix in strip-space or preserve-space, ";

SpaceRules::~SpaceRules() = default;

std::size_t SpaceRules::PairHash::operator()(const Key& key) const {
  return std::hash<const char*>()(key.first) * 31 + std::hash<const char*>()(key.second);
}

bool SpaceRules::outranks(const Rule& a, int priorityA, const Rule& b, int priorityB) {
  if (a.precedence != b.precedence)
    return a.precedence > b.precedence;
  if (priorityA != priorityB)
    return priorityA > priorityB;
  return a.order > b.order;
}

void SpaceRules::keep(Rule& slot, bool& filled, const Rule& rule) {
  // Same test, so same priority: precedence, then the later declaration.
  if (!filled || outranks(rule, 0, slot, 0))
    slot = rule;
  filled = true;
}

void SpaceRules::read(Node* element, bool strip, std::int32_t importPrecedence) {
  const Node* elements = xsltAttribute(element, "elements");
  if (elements == nullptr)
    throw StylesheetException(locationOf(element), kNoElements);
  std::string_view list = attributeValue(elements);
  forEachToken(list, [&](std::string_view test) {
    Rule rule{importPrecedence, count_++, strip};
    active_ = active_ || strip;
    if (test == "*") {
      keep(any_, hasAny_, rule);
      return;
    }
    std::string_view prefix = qnamePrefix(test);
    StringRef uri = prefix.empty() ? emptyName() : lookupNamespace(element, prefix);
    if (!prefix.empty() && uri.empty())
      throw StylesheetException(locationOf(elements), String(kUndeclaredPrefix).append(test));
    std::string_view local = qnameLocalPart(test);
    if (local == "*") {
      auto [slot, inserted] = namespaces_.try_emplace(uri.c_str(), rule);
      bool filled = !inserted;
      keep(slot->second, filled, rule);
      return;
    }
    Key key(uri.c_str(), intern(local).c_str());
    auto [slot, inserted] = names_.try_emplace(key, rule);
    bool filled = !inserted;
    keep(slot->second, filled, rule);
  });
}

bool SpaceRules::strips(StringRef namespaceURI, StringRef localName) const {
  const Rule* best = nullptr;
  int bestPriority = 0;
  auto consider = [&](const Rule& rule, int priority) {
    if (best == nullptr || outranks(rule, priority, *best, bestPriority)) {
      best = &rule;
      bestPriority = priority;
    }
  };
  if (!names_.empty()) {
    auto found = names_.find(Key(namespaceURI.c_str(), localName.c_str()));
    if (found != names_.end())
      consider(found->second, 2);
  }
  if (!namespaces_.empty()) {
    auto found = namespaces_.find(namespaceURI.c_str());
    if (found != namespaces_.end())
      consider(found->second, 1);
  }
  if (hasAny_)
    consider(any_, 0);
  return best != nullptr && best->strip;
}

namespace {

class StylesheetSpacing : public WhitespaceStripping {
 public:
  bool strips(StringRef namespaceURI, StringRef localName) const override {
    return !(namespaceURI == xsltNamespaceName() && localName.view() == "text");
  }
};

}  // namespace

const WhitespaceStripping& stylesheetSpacing() {
  static const StylesheetSpacing spacing;
  return spacing;
}

}  // namespace ovra
