#include "driver/modes.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/document_registry.h"
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
static constexpr char kTimeLine[] = "%s took %u ms\n";
static constexpr char kCompileStep[] = "Parsing and compiling stylesheet ";
static constexpr char kParseStep[] = "Parsing document ";
static constexpr char kApplyStep[] = "Applying stylesheet";
static constexpr char kCompileExpressionStep[] = "Compiling expression";
static constexpr char kEvaluateStep[] = "Evaluating expression";

LoopEnvironment LoopEnvironment::standard() {
  return LoopEnvironment{stderr, tickCount};
}

static bool isStandardInput(const char* xmlFile) {
  return std::strcmp(xmlFile, kStandardInputWord) == 0;
}

// The name a file goes by in messages.
static const char* displayName(const char* file) {
  return isStandardInput(file) ? kStandardInputName : file;
}

void reportTime(const LoopEnvironment& environment, const std::string& step,
                std::uint32_t milliseconds) {
  if (environment.timing)
    std::fprintf(environment.errors, kTimeLine, step.c_str(), milliseconds);
}

static void runStep(const std::function<void()>& step) {
  if (step)
    step();
}

ExitStatus statusFor(Stage stage, const XSLException& error) {
  bool unreadable = dynamic_cast<const DocumentParseException*>(&error) != nullptr;
  switch (stage) {
  case Stage::Parameters:
    return ExitStatus::UsageError;
  case Stage::Stylesheet:
    return unreadable ? ExitStatus::StylesheetUnreadable : ExitStatus::StylesheetError;
  case Stage::Expression:
    return ExitStatus::StylesheetError;
  case Stage::Source:
    return ExitStatus::DocumentError;
  case Stage::Run:
    return unreadable ? ExitStatus::DocumentError : ExitStatus::RuntimeError;
  }
  __builtin_unreachable();
}

ExitStatus runTimedLoop(const ModeSteps& steps, std::int32_t runs,
                        const LoopEnvironment& environment) {
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
    return ExitStatus::Success;
  } catch (const XSLException& error) {
    std::fprintf(environment.errors, "%s\n", error.message().c_str());
    return statusFor(steps.stage != nullptr ? *steps.stage : Stage::Run, error);
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
  switch (value.kind()) {
  case ValueKind::None:
    return;
  case ValueKind::NodeSet:
    for (Node* node : value.nodes())
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

// The host of the XPath mode: its parameters as variables of the expression, each
// evaluated once, in command-line order (an expression sees the parameters before it),
// and the documents of the session, the source among them.
class ParameterVariables : public EvaluationHost {
 public:
  ~ParameterVariables() override = default;

  DocumentRegistry* documents() override { return &documents_; }

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
  DocumentRegistry documents_;
};

}  // namespace

// ---- The two modes ----

ExitStatus runXPathMode(const char* expression, const char* xmlFile, Serializer& out,
                        std::int32_t runs, const LoopEnvironment& environment,
                        const std::vector<ParameterOption>& parameters) {
  Node* root = nullptr;
  std::unique_ptr<Expr> compiled;
  ParameterVariables variables;
  std::uint32_t evaluateTime = 0;
  Stage stage = Stage::Source;
  ModeSteps steps;
  steps.stage = &stage;
  steps.setUp = [&] {
    std::uint32_t t0 = environment.ticks();
    // Shared by all runs, so standard input needs reading only once.
    Document* document =
        isStandardInput(xmlFile)
            ? variables.documents()->adopt(Document::fromStream(
                  environment.input, kStandardInputName, Document::kRegistryBufferSize, false))
            : variables.documents()->adopt(
                  std::make_unique<Document>(xmlFile, Document::kRegistryBufferSize, false));
    if (environment.timing)
      document->parseAll();  // so that parsing is timed apart from evaluating
    else
      document->parseChunk();
    root = document->root();
    std::uint32_t t1 = environment.ticks();
    reportTime(environment, kParseStep + std::string(displayName(xmlFile)), t1 - t0);
    stage = Stage::Expression;
    compiled = compileXPath(expression, root, xsltFunctions());
    reportTime(environment, kCompileExpressionStep, environment.ticks() - t1);
    stage = Stage::Parameters;
    EvalContext context;
    context.contextNode = context.currentNode = context.stylesheetElement = root;
    context.size = 1;
    context.host = &variables;
    variables.bind(makeParameters(parameters, root), context);
    stage = Stage::Run;
  };
  steps.run = [&] {
    std::uint32_t t0 = environment.ticks();
    try {
      writeXPathResults(*compiled, root, out, &variables);
    } catch (XSLException& error) {
      error.setExpression(expression);  // to show where in it the run failed
      throw;
    }
    evaluateTime += environment.ticks() - t0;
  };
  // No finish step: every item was flushed as it was written.
  ExitStatus status = runTimedLoop(steps, runs, environment);
  if (status == ExitStatus::Success)
    reportTime(environment, kEvaluateStep, evaluateTime);
  return status;
}

ExitStatus loadStylesheet(const char* stylesheetFile,
                          const std::vector<ParameterOption>& parameters,
                          const LoopEnvironment& environment, CompiledStylesheet& compiled,
                          CompileOptions options) {
  Stage stage = Stage::Stylesheet;
  ModeSteps steps;
  steps.stage = &stage;
  steps.setUp = [&] {
    std::uint32_t t0 = environment.ticks();
    compiled.stylesheet = isStandardInput(stylesheetFile)
                              ? Stylesheet::fromText(readWhole(environment.input),
                                                     String(kStandardInputName), options)
                              : std::make_unique<Stylesheet>(String(stylesheetFile), options);
    compiled.stylesheet->load();
    reportTime(environment, kCompileStep + std::string(displayName(stylesheetFile)),
               environment.ticks() - t0);
    // Names and expressions take their prefixes from the stylesheet's own declarations.
    stage = Stage::Parameters;
    compiled.parameters = makeParameters(parameters, compiled.stylesheet->rootElement());
  };
  return runTimedLoop(steps, 0, environment);
}

ExitStatus transformDocument(const CompiledStylesheet& compiled, const char* xmlFile,
                             Serializer& out, std::int32_t runs, const LoopEnvironment& environment,
                             ResultDocuments* documents) {
  const Stylesheet& stylesheet = *compiled.stylesheet;
  bool fromInput = isStandardInput(xmlFile);
  std::string inputText;  // standard input read whole, when there are several runs
  bool terminated = false;
  std::uint32_t parseTime = 0;
  std::uint32_t applyTime = 0;
  Stage stage = Stage::Source;
  ModeSteps steps;
  steps.stage = &stage;
  steps.setUp = [&] {
    if (fromInput && runs > 1)
      inputText = readWhole(environment.input);
    stage = Stage::Run;
  };
  steps.run = [&] {
    constexpr std::size_t kSize = Document::kSourceBufferSize;
    std::unique_ptr<Document> source =
        !fromInput ? std::make_unique<Document>(xmlFile, kSize, /*strip=*/false)
        : runs > 1 ? Document::fromText(inputText, kStandardInputName, kSize, false)
                   : Document::fromStream(environment.input, kStandardInputName, kSize, false);
    std::uint32_t t0 = environment.ticks();
    if (environment.timing) {
      // Read whole before the run, so that the two can be timed apart; the stylesheet's
      // stripping rules apply while the tree is built.
      source->setStripping(&stylesheet.spaceRules());
      source->parseAll();
    }
    std::uint32_t t1 = environment.ticks();
    if (!stylesheet.transform(*source, out, &compiled.parameters, documents))
      terminated = true;
    std::uint32_t t2 = environment.ticks();
    parseTime += t1 - t0;
    applyTime += t2 - t1;
  };
  steps.finish = [&] { out.flush(); };
  ExitStatus status = runTimedLoop(steps, runs, environment);
  if (status == ExitStatus::Success) {
    reportTime(environment, kParseStep + std::string(displayName(xmlFile)), parseTime);
    reportTime(environment, kApplyStep, applyTime);
  }
  return status == ExitStatus::Success && terminated ? ExitStatus::Terminated : status;
}

ExitStatus runTransformMode(const char* stylesheetFile, const char* xmlFile, Serializer& out,
                            std::int32_t runs, const LoopEnvironment& environment,
                            const std::vector<ParameterOption>& parameters) {
  CompiledStylesheet compiled;
  ExitStatus status = loadStylesheet(stylesheetFile, parameters, environment, compiled);
  if (status != ExitStatus::Success)
    return status;
  return transformDocument(compiled, xmlFile, out, runs, environment);
}

}  // namespace ovra
