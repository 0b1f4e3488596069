#include "driver/modes.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xslt/functions.h"
#include "xslt/stylesheet.h"

#include <cstring>
#include <memory>
#include <string>

namespace ovra {

static constexpr char kTimingReport[] = "\nOVRA: %d runs, total=%d(ms), avg=%.2f(ms)\n";
static constexpr char kCouldNotRead[] = "Could not read file, ";

LoopEnvironment LoopEnvironment::standard() {
  return LoopEnvironment{stderr, tickCount};
}

static void runStep(const std::function<void()>& step) {
  if (step)
    step();
}

int runTimedLoop(const ModeSteps& steps, std::int32_t runs, const LoopEnvironment& environment) {
  try {
    runStep(steps.setUp);
    std::uint32_t t0 = environment.ticks();
    for (std::int32_t run = 0; run < runs; ++run)
      runStep(steps.run);
    std::uint32_t t1 = environment.ticks();
    runStep(steps.finish);
    if (runs > 1) {
      // The tick counter wraps; the difference taken modulo 2^32 stays right.
      auto total = std::int32_t(t1 - t0);
      std::fprintf(environment.errors, kTimingReport, runs, total, double(total) / runs);
    }
    return 0;
  } catch (const XSLException& error) {
    // A StylesheetException's text already ends with a line end; this adds a second.
    std::fprintf(environment.errors, "%s\n", error.message().c_str());
    return 1;
  }
}

// Writes one result item: a node as its markup, anything else as its string.
static void writeItem(Serializer& out, Node* node) {
  out.copyNode(node);
  out.write("\n");
  out.flush();
}

void writeXPathResults(const Expr& compiled, Node* root, Serializer& out,
                       EvaluationHost* variables) {
  EvalContext context;
  context.contextNode = context.currentNode = context.stylesheetElement = root;
  context.size = 1;
  context.host = variables;
  if (compiled.returnsNodeSet()) {
    // Streams: each result is written before the next is looked for.
    std::unique_ptr<NodeStream> nodes = compiled.select(context);
    while (Node* node = nodes->next())
      writeItem(out, node);
    return;
  }
  Value value = compiled.evaluate(context);
  switch (value.kind) {
  case ValueKind::None:
    return;
  case ValueKind::Node:
    writeItem(out, value.node);
    return;
  case ValueKind::NodeSet:
    for (Node* node : value.nodes)
      writeItem(out, node);
    return;
  case ValueKind::TreeFragment:
  case ValueKind::Number:
  case ValueKind::Boolean:
  case ValueKind::String:
    writeValue(value, out);
    out.write("\n");
    out.flush();
    return;
  }
}

// ---- Inputs and parameters ----

static bool isStandardInput(const char* xmlFile) {
  return std::strcmp(xmlFile, kStandardInputWord) == 0;
}

// Everything left on the stream, for input that can be read only once.
static std::string readWhole(std::FILE* stream) {
  std::string text;
  char buffer[65536];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
    text.append(buffer, count);
  if (std::ferror(stream))
    throw DocumentParseException(String(kCouldNotRead).append(kStandardInputName));
  return text;
}

Parameters makeParameters(const std::vector<ParameterOption>& options,
                          const Node* namespaceContext) {
  Parameters parameters;
  for (const ParameterOption& option : options) {
    parameters.add(option.name, option.value,
                   option.isExpression ? Parameters::Kind::Expression : Parameters::Kind::String,
                   namespaceContext);
  }
  return parameters;
}

namespace {

// The parameters of the XPath mode as variables of the expression. Each is evaluated
// once, in command-line order; an expression sees the parameters before it.
class ParameterVariables : public EvaluationHost {
 public:
  ~ParameterVariables() override = default;

  void bind(const Parameters& parameters, const EvalContext& context) {
    for (const ExternalParameter& parameter : parameters.entries())
      values_.push_back(Bound{parameter.name, parameter.evaluate(context)});
  }

  const Value* variable(StringRef namespaceURI, StringRef localName,
                        const EvalContext& /*context*/) override {
    for (const Bound& bound : values_) {
      if (bound.name.localName == localName && bound.name.namespaceURI == namespaceURI)
        return &bound.value;
    }
    return nullptr;
  }

 private:
  struct Bound {
    ExpandedName name;
    Value value;
  };
  std::vector<Bound> values_;
};

}  // namespace

// ---- The two modes ----

int runXPathMode(const char* expression, const char* xmlFile, Serializer& out, std::int32_t runs,
                 const LoopEnvironment& environment,
                 const std::vector<ParameterOption>& parameters) {
  Node* root = nullptr;
  std::unique_ptr<Expr> compiled;
  ParameterVariables variables;
  ModeSteps steps;
  steps.setUp = [&] {
    // Shared by all runs, so standard input needs reading only once.
    Document* document =
        isStandardInput(xmlFile)
            ? DocumentRegistry::adopt(Document::fromStream(environment.input, kStandardInputName,
                                                           Document::kRegistryBufferSize, false))
            : DocumentRegistry::open(xmlFile, Document::kRegistryBufferSize, false);
    document->parseChunk();
    root = document->root();
    compiled = compileXPath(expression, root, xsltFunctions());
    EvalContext context;
    context.contextNode = context.currentNode = context.stylesheetElement = root;
    context.size = 1;
    context.host = &variables;
    variables.bind(makeParameters(parameters, root), context);
  };
  steps.run = [&] { writeXPathResults(*compiled, root, out, &variables); };
  // No finish step: every item was flushed as it was written.
  return runTimedLoop(steps, runs, environment);
}

int runTransformMode(const char* stylesheetFile, const char* xmlFile, Serializer& out,
                     std::int32_t runs, const LoopEnvironment& environment,
                     const std::vector<ParameterOption>& parameters) {
  // These live across the runs and die when the loop has returned.
  std::unique_ptr<Stylesheet> stylesheet;
  Parameters bound;
  bool fromInput = isStandardInput(xmlFile);
  std::string inputText;  // standard input read whole, when there are several runs
  ModeSteps steps;
  steps.setUp = [&] {
    stylesheet = std::make_unique<Stylesheet>(stylesheetFile);
    stylesheet->load();
    // Names and expressions take their prefixes from the stylesheet's own declarations.
    bound = makeParameters(parameters, stylesheet->rootElement());
    if (fromInput && runs > 1)
      inputText = readWhole(environment.input);
  };
  steps.run = [&] {
    constexpr std::size_t kSize = Document::kSourceBufferSize;
    std::unique_ptr<Document> source =
        !fromInput ? std::make_unique<Document>(xmlFile, kSize, /*strip=*/false)
        : runs > 1 ? Document::fromText(inputText, kStandardInputName, kSize, false)
                   : Document::fromStream(environment.input, kStandardInputName, kSize, false);
    stylesheet->transform(*source, out, &bound);
  };
  steps.finish = [&] { out.flush(); };
  return runTimedLoop(steps, runs, environment);
}

}  // namespace ovra
