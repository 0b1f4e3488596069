#include "xslt/keys.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xpath/pattern.h"
#include "xpath/syntax.h"
#include "xslt/functions.h"
#include "xslt/instruction.h"
#include "xslt/transform.h"
#include "xslt/variable_stack.h"

#include <algorithm>
#include <span>
#include <string_view>

namespace ovra {

static constexpr char kVariableInPattern[] =
    "A match pattern can not refer to variables or parameters";
static constexpr char kNameMissing[] = "A name attribute must be provided for a key";
static constexpr char kMatchMissing[] = "A match attribute must be provided for a key";
static constexpr char kUseMissing[] = "A use attribute must be provided for a key";
static constexpr char kKeyRecursion[] = "The definition of key %s needs the key itself";

namespace {

String writtenName(const ExpandedName& name) {
  String text;
  if (!name.prefix.empty())
    text.append(name.prefix).append(":");
  return text.append(name.localName);
}

}  // namespace

// ---- Definitions ----

KeyDefinition::KeyDefinition(Node* element) : element_(element) {
  Node* nameAttribute = nullptr;
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (!attribute->namespaceURI().empty())
      continue;
    std::string_view local = attribute->localName().view();
    std::string_view value = attributeValue(attribute);
    try {
      if (local == "name") {
        nameAttribute = attribute;
        name_ = readQNameAttribute(element, attribute);
        name_.prefix = intern(qnamePrefix(value));
      } else if (local == "match") {
        pattern_ = parseXPath(value, element, xsltFunctions());
        // Keys are indexed once per document, outside any variable's scope.
        if (refersToVariable(*pattern_))
          throw StylesheetException(locationOf(attribute), kVariableInPattern);
        match_ = pattern_->compilePattern();
      } else if (local == "use") {
        use_ = compileXPath(value, element, xsltFunctions());
      }
    } catch (const XPathParseException& error) {
      throw errorAtAttribute(attribute, error);
    } catch (const EvaluateException& error) {
      throw errorAtAttribute(attribute, error);
    }
  }
  if (nameAttribute == nullptr || name_.localName.empty())
    throw StylesheetException(locationOf(element), kNameMissing);
  if (!match_)
    throw StylesheetException(locationOf(element), kMatchMissing);
  if (!use_)
    throw StylesheetException(locationOf(element), kUseMissing);
}

KeyDefinition::~KeyDefinition() = default;

bool KeyDefinition::matches(Node* node, const EvalContext& context) const {
  return match_->matches(node, context);
}

KeyDefinitions::KeyDefinitions() = default;
KeyDefinitions::~KeyDefinitions() = default;

void KeyDefinitions::add(Node* element) {
  all_.push_back(std::make_unique<KeyDefinition>(element));
  const KeyDefinition* added = all_.back().get();
  for (auto& list : byName_) {
    if (list.front()->name() == added->name()) {
      list.push_back(added);
      return;
    }
  }
  byName_.push_back({added});
}

const std::vector<const KeyDefinition*>* KeyDefinitions::find(const ExpandedName& name) const {
  for (const auto& list : byName_) {
    if (list.front()->name() == name)
      return &list;
  }
  return nullptr;
}

String unknownKeyMessage(const ExpandedName& name) {
  String text("Unknown key, ");
  if (!name.prefix.empty())
    text.append(name.prefix).append(":");
  return text.append(name.localName);
}

// ---- Indexes ----

KeyIndexes::KeyIndexes(const KeyDefinitions& definitions, Transformation& run)
    : definitions_(definitions), run_(run) {}

KeyIndexes::~KeyIndexes() = default;

Value KeyIndexes::lookup(const Token& call, const ExpandedName& name, const Value& value,
                         const EvalContext& context) {
  const std::vector<const KeyDefinition*>* definitions = definitions_.find(name);
  if (definitions == nullptr)
    throw EvaluateException(call.position, unknownKeyMessage(name));
  if (context.contextNode == nullptr)
    return Value::makeNodeSet(NodeVector());
  Node* root = context.contextNode->root();
  IndexKey key{root, name.namespaceURI.c_str(), name.localName.c_str()};
  auto [slot, inserted] = indexes_.try_emplace(key);
  Index& index = slot->second;
  if (inserted) {
    try {
      build(index, root, *definitions);
    } catch (...) {
      indexes_.erase(slot);
      throw;
    }
  } else if (!index.complete) {
    throw EvaluateException(call.position, formatMessage(kKeyRecursion, writtenName(name).c_str()));
  }

  NodeVector found;
  std::size_t lists = 0;
  auto collect = [&](std::string_view text) {
    auto hit = index.byValue.find(std::string(text));
    if (hit == index.byValue.end())
      return;
    found.insert(found.end(), hit->second.begin(), hit->second.end());
    ++lists;
  };
  if (value.kind() == ValueKind::NodeSet) {
    for (Node* member : value.nodes())
      collect(member->stringValue().view());
  } else {
    collect(stringOf(value).view());
  }
  // One list is in document order already; several are merged.
  if (lists > 1) {
    std::sort(found.begin(), found.end(), precedesInDocumentOrder);
    found.erase(std::unique(found.begin(), found.end()), found.end());
  }
  return Value::makeNodeSet(std::move(found));
}

// Every node of the tree in document order, attributes after their element, is tried
// against each definition. The use expressions see the globals but no local variable,
// whichever template first asked for the key.
void KeyIndexes::build(Index& index, Node* root,
                       const std::vector<const KeyDefinition*>& definitions) {
  VariableStack variables(&run_.globals());
  EvalContext context;
  context.host = &variables;
  context.position = 1;
  context.size = 1;
  auto add = [&](std::string_view text, Node* node) {
    NodeVector& nodes = index.byValue[std::string(text)];
    // Nodes arrive in document order, so a repeat can only be the last one.
    if (nodes.empty() || nodes.back() != node)
      nodes.push_back(node);
  };
  auto visit = [&](Node* node) {
    context.contextNode = node;
    context.currentNode = node;
    for (const KeyDefinition* definition : definitions) {
      context.stylesheetElement = definition->element();
      try {
        if (!definition->matches(node, context))
          continue;
        Value used = definition->use().evaluate(context);
        if (used.kind() == ValueKind::NodeSet) {
          for (Node* member : used.nodes())
            add(member->stringValue().view(), node);
        } else {
          add(stringOf(used).view(), node);
        }
      } catch (const EvaluateException& error) {
        throw StylesheetException(locationOf(definition->element()), error);
      }
    }
  };
  for (Node* node = root; node != nullptr; node = nextInDocumentOrder(node, root)) {
    visit(node);
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling())
      visit(attribute);
  }
  index.complete = true;
}

}  // namespace ovra
