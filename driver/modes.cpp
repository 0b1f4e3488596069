#include "driver/modes.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "output/output.h"

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

int runXPathMode([[maybe_unused]] const char* expression, [[maybe_unused]] const char* xmlFile,
                 [[maybe_unused]] Output& out, std::int32_t runs,
                 const LoopEnvironment& environment) {
  // Engine state shared by the steps goes here, so it outlives every run and is
  // destroyed when the loop has returned.
  ModeSteps steps;
  steps.setUp = [&] {
    // Engine hook: open xmlFile through the DocumentRegistry (registry buffer size, no
    // stripping), parse its first chunk, compile the expression with the root as the
    // namespace context, and build the context (position 1, an empty VariableStack, the
    // root as current node and stylesheet element).
  };
  steps.run = [&] {
    // Engine hook: arm the expression at the root, then take items until one of kind
    // None; write a node with the serializer's copyNode and anything else with
    // writeValue; after each item write "\n" and flush.
  };
  // No finish step: every item was flushed as it was written.
  return runTimedLoop(steps, runs, environment);
}

int runTransformMode([[maybe_unused]] const char* stylesheetFile,
                     [[maybe_unused]] const char* xmlFile, Output& out, std::int32_t runs,
                     const LoopEnvironment& environment) {
  // Engine state shared by the steps goes here (the Stylesheet), so it outlives every run.
  ModeSteps steps;
  steps.setUp = [&] {
    // Engine hook: build the Stylesheet from stylesheetFile and load and compile it.
  };
  steps.run = [&] {
    // Engine hook: make a Document for xmlFile (source buffer size, no stripping) that
    // dies with this run, and transform it with the Stylesheet to the serializer.
  };
  steps.finish = [&] { out.flush(); };
  return runTimedLoop(steps, runs, environment);
}

}  // namespace ovra
