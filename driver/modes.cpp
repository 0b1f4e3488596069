#include "driver/modes.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xslt/stylesheet.h"

#include <memory>

namespace ovra {

static constexpr char kTimingReport[] = "\nOVRA: %d runs, total=%d(ms), avg=%.2f(ms)\n";

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

void writeXPathResults(const Expr& compiled, Node* root, Serializer& out) {
  EvalContext context;
  context.contextNode = context.currentNode = context.stylesheetElement = root;
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

int runXPathMode(const char* expression, const char* xmlFile, Serializer& out, std::int32_t runs,
                 const LoopEnvironment& environment) {
  Node* root = nullptr;
  std::unique_ptr<Expr> compiled;
  ModeSteps steps;
  steps.setUp = [&] {
    Document* document = DocumentRegistry::open(xmlFile, Document::kRegistryBufferSize, false);
    document->parseChunk();
    root = document->root();
    compiled = compileXPath(expression, root);
  };
  steps.run = [&] { writeXPathResults(*compiled, root, out); };
  // No finish step: every item was flushed as it was written.
  return runTimedLoop(steps, runs, environment);
}

int runTransformMode(const char* stylesheetFile, const char* xmlFile, Serializer& out,
                     std::int32_t runs, const LoopEnvironment& environment) {
  // Lives across the runs and dies when the loop has returned.
  std::unique_ptr<Stylesheet> stylesheet;
  ModeSteps steps;
  steps.setUp = [&] {
    stylesheet = std::make_unique<Stylesheet>(stylesheetFile);
    stylesheet->load();
  };
  steps.run = [&] {
    Document source(xmlFile, Document::kSourceBufferSize, /*strip=*/false);
    stylesheet->transform(source, out);
  };
  steps.finish = [&] { out.flush(); };
  return runTimedLoop(steps, runs, environment);
}

}  // namespace ovra
