#include "xslt/transform.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/location.h"
#include "tree/node.h"
#include "xslt/result_documents.h"
#include "xslt/result_sink.h"
#include "xslt/stylesheet.h"
#include "xslt/variable_stack.h"

#include <algorithm>

namespace ovra {

static constexpr char kRecursionTooDeep[] = "Template recursion too deep";
static constexpr char kStackExhausted[] = "Stylesheet nested too deeply: out of stack space";

// ---- Per-run state ----

Transformation::Transformation(const Stylesheet& stylesheet, Document& source,
                               const Parameters* parameters, ResultDocuments* documents)
    : stylesheet_(&stylesheet), source_(&source), parameters_(parameters), globals_(*this),
      keys_(stylesheet.keys(), *this),
      documents_(stylesheet.spaceRules().isActive() ? &stylesheet.spaceRules() : nullptr),
      resultDocuments_(documents) {
  if (stylesheet.options().maxTemplateDepth > 0)
    maxTemplateDepth_ = stylesheet.options().maxTemplateDepth;
  if (documents != nullptr)
    documents->limit(stylesheet.options().writeLimits);
}

Transformation::~Transformation() = default;

Node* Transformation::sourceRoot() const {
  return source_->root();
}

ResultDocuments& Transformation::resultDocuments() {
  // Made when first needed: most runs write no documents.
  if (resultDocuments_ == nullptr) {
    ownResultDocuments_ = std::make_unique<ResultDocuments>();
    resultDocuments_ = ownResultDocuments_.get();
    resultDocuments_->limit(stylesheet_->options().writeLimits);
  }
  return *resultDocuments_;
}

void Transformation::commitOwnResultDocuments() {
  if (ownResultDocuments_)
    ownResultDocuments_->commit();
}

Transformation::ExtensionState::~ExtensionState() = default;

Transformation::ExtensionState* Transformation::extensionState(const void* key) const {
  for (const auto& [owner, state] : extensionStates_) {
    if (owner == key)
      return state.get();
  }
  return nullptr;
}

Transformation::ExtensionState&
Transformation::setExtensionState(const void* key, std::unique_ptr<ExtensionState> state) {
  extensionStates_.emplace_back(key, std::move(state));
  return *extensionStates_.back().second;
}

const std::string& Transformation::outputURI() {
  return outputURI_.empty() ? resultDocuments().baseURI() : outputURI_;
}

void Transformation::checkStack(const Node* at) const {
  if (stackPosition() < bodyStackLimit_)
    throw StylesheetException(locationOf(at), kStackExhausted);
}

Transformation::TemplateScope::TemplateScope(Transformation& run, const Node* at) : run_(run) {
  // Templates stop at a higher mark than bodies do, so that an endless recursion is
  // reported as one even when its bodies nest too.
  if (run.templateDepth_ >= run.maxTemplateDepth_ || stackPosition() < run.templateStackLimit_)
    throw StylesheetException(locationOf(at), kRecursionTooDeep);
  ++run.templateDepth_;
}

void Transformation::run(Serializer& serializer) {
  std::size_t usable = 0;
  if (std::uintptr_t bottom = findStackBottom(usable)) {
    std::size_t margin = std::min(kStackMargin, usable / 8);
    bodyStackLimit_ = bottom + margin;
    templateStackLimit_ = bottom + 2 * margin;
  }
  const Stylesheet& stylesheet = *stylesheet_;
  // Whitespace goes as the tree is built, so the rules are in place before any parsing.
  if (stylesheet.spaceRules().isActive())
    source_->setStripping(&stylesheet.spaceRules());
  source_->parseChunk();
  globals_.define(stylesheet.globalElements());
  serializer.settings() = stylesheet.outputSettings();
  serializer.startDocument();
  VariableStack variables(&globals_);
  SerializerResultSink sink(serializer, &variables, this);
  Focus focus{source_->root(), 1, 1};
  const TemplateRules& rules = stylesheet.rules();
  if (const Template* chosen = rules.find(focus.node, ExpandedName(), &variables)) {
    TemplateScope scope(*this, chosen->element());
    TemplateRules::apply(*chosen, focus, sink);
  } else {
    rules.applyBuiltIn(focus, ExpandedName(), sink);
  }
  serializer.endDocument();
}

}  // namespace ovra
