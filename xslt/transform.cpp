#include "xslt/transform.h"

#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/node.h"
#include "xslt/result_sink.h"
#include "xslt/stylesheet.h"
#include "xslt/variable_stack.h"

#include <algorithm>
#include <pthread.h>

namespace ovra {

static constexpr char kRecursionTooDeep[] = "Template recursion too deep (more than %d nested calls)";
static constexpr char kStackExhausted[] = "Stylesheet nested too deeply: out of stack space";


// ---- Per-run state ----

Transformation::Transformation(const Stylesheet& stylesheet, Document& source)
    : stylesheet_(&stylesheet), source_(&source), globals_(*this) {}

Transformation::~Transformation() = default;

Node* Transformation::sourceRoot() const {
  return source_->root();
}

// The bounds of the stack the calling thread runs on, to stop before it overflows.
static std::uintptr_t findStackLimit() {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0)
    return 0;
  void* lowest = nullptr;
  std::size_t size = 0;
  int status = pthread_attr_getstack(&attributes, &lowest, &size);
  pthread_attr_destroy(&attributes);
  if (status != 0 || lowest == nullptr)
    return 0;
  std::size_t margin = std::min(Transformation::kStackMargin, size / 4);
  return reinterpret_cast<std::uintptr_t>(lowest) + margin;
}

void Transformation::checkStack(const Node* at) const {
  // The frame address is the real stack even where a sanitizer moves locals elsewhere.
  auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  if (here < stackLimit_)
    throw StylesheetException(at, kStackExhausted);
}

Transformation::TemplateScope::TemplateScope(Transformation& run, const Node* at) : run_(run) {
  if (run.templateDepth_ >= kMaxTemplateDepth)
    throw StylesheetException(at, formatMessage(kRecursionTooDeep, kMaxTemplateDepth));
  run.checkStack(at);
  ++run.templateDepth_;
}

void Transformation::run(Serializer& serializer) {
  stackLimit_ = findStackLimit();
  source_->parseChunk();
  const Stylesheet& stylesheet = *stylesheet_;
  globals_.define(stylesheet.globalElements());
  serializer.settings() = stylesheet.outputSettings();
  VariableStack variables(&globals_);
  SerializerResultSink sink(serializer, &variables, this);
  Focus focus{source_->root(), 1, 1};
  const TemplateRules& rules = stylesheet.rules();
  if (const Template* chosen = rules.find(focus.node, ExpandedName())) {
    TemplateScope scope(*this, chosen->element());
    TemplateRules::apply(*chosen, focus, sink);
  } else {
    rules.applyBuiltIn(focus, ExpandedName(), sink);
  }
}

}  // namespace ovra
