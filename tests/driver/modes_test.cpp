#include "base/exceptions.h"
#include "driver/modes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ovra {
namespace {

// Records what a timing loop did, in order, and what it wrote to its error stream.
class LoopProbe {
 public:
  explicit LoopProbe(std::vector<std::uint32_t> ticks) : ticks_(std::move(ticks)) {}

  LoopEnvironment environment() {
    return LoopEnvironment{errors_.get(), [this] {
                             log += "tick ";
                             return ticks_.at(tickReads_++);
                           }};
  }

  std::function<void()> step(const char* name) {
    return [this, name] { log += std::string(name) + " "; };
  }

  std::string errors() {
    std::fflush(errors_.get());
    std::rewind(errors_.get());
    std::string text;
    for (int c; (c = std::fgetc(errors_.get())) != EOF;)
      text += char(c);
    return text;
  }

  std::string log;

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> errors_{std::tmpfile()};
  std::vector<std::uint32_t> ticks_;
  std::size_t tickReads_ = 0;
};

ModeSteps recordedSteps(LoopProbe& probe) {
  return ModeSteps{probe.step("setUp"), probe.step("run"), probe.step("finish")};
}

struct ReportCase {
  std::int32_t runs;
  std::uint32_t t0, t1;
  const char* expected;
};

const ReportCase kReportCases[] = {
    {5, 1000, 1037, "\nOVRA: 5 runs, total=37(ms), avg=7.40(ms)\n"},
    {3, 500, 500, "\nOVRA: 3 runs, total=0(ms), avg=0.00(ms)\n"},
    {3, 0, 2, "\nOVRA: 3 runs, total=2(ms), avg=0.67(ms)\n"},
    {2, 0xFFFFFFF0u, 0x10u, "\nOVRA: 2 runs, total=32(ms), avg=16.00(ms)\n"},  // wrapped
    {4, 100, 90, "\nOVRA: 4 runs, total=-10(ms), avg=-2.50(ms)\n"},
    {1, 0, 1000, ""},  // one run: no report
};

TEST(TimedLoopTest, ReportsRunsTotalAndAverageAfterMoreThanOneRun) {
  for (const ReportCase& c : kReportCases) {
    LoopProbe probe({c.t0, c.t1});
    EXPECT_EQ(runTimedLoop(recordedSteps(probe), c.runs, probe.environment()), ExitStatus::Success);
    EXPECT_EQ(probe.errors(), c.expected) << c.runs << " runs from " << c.t0 << " to " << c.t1;
  }
}

TEST(TimedLoopTest, ClockBracketsTheRunsOnly) {
  LoopProbe probe({10, 20});
  runTimedLoop(recordedSteps(probe), 3, probe.environment());
  EXPECT_EQ(probe.log, "setUp tick run run run tick finish ");
}

TEST(TimedLoopTest, NoRunsStillSetsUpButPrintsNoReport) {
  for (std::int32_t runs : {0, -1, -2147483647 - 1}) {
    LoopProbe probe({10, 20});
    EXPECT_EQ(runTimedLoop(recordedSteps(probe), runs, probe.environment()), ExitStatus::Success);
    EXPECT_EQ(probe.log, "setUp tick tick finish ") << runs;
    EXPECT_EQ(probe.errors(), "") << runs;
  }
}

TEST(TimedLoopTest, EmptyStepsAreSkipped) {
  LoopProbe probe({10, 20});
  EXPECT_EQ(runTimedLoop(ModeSteps{}, 2, probe.environment()), ExitStatus::Success);
  EXPECT_EQ(probe.errors(), "\nOVRA: 2 runs, total=10(ms), avg=5.00(ms)\n");
}

struct FailureCase {
  const char* failingStep;
  std::function<void()> ModeSteps::*step;
  const char* expectedLog;
};

const FailureCase kFailureCases[] = {
    {"setUp", &ModeSteps::setUp, "setUp "},
    {"run", &ModeSteps::run, "setUp tick run "},  // later runs, finish and report skipped
    {"finish", &ModeSteps::finish, "setUp tick run run tick finish "},
};

TEST(TimedLoopTest, ErrorInAnyStepIsPrintedAndEndsTheLoop) {
  for (const FailureCase& c : kFailureCases) {
    LoopProbe probe({10, 20});
    ModeSteps steps = recordedSteps(probe);
    steps.*c.step = [&probe, name = c.failingStep] {
      probe.log += std::string(name) + " ";
      throw DocumentParseException("Could not open file, in.xml");
    };
    EXPECT_EQ(runTimedLoop(steps, 2, probe.environment()), ExitStatus::DocumentError)
        << c.failingStep;
    EXPECT_EQ(probe.log, c.expectedLog) << c.failingStep;
    EXPECT_EQ(probe.errors(), "ovra: error: Could not open file, in.xml\n") << c.failingStep;
  }
}

// The exit status says what kind of work failed, and for a document that cannot be
// read, whose document it was.
TEST(TimedLoopTest, StatusFollowsTheStageAndTheKindOfError) {
  struct {
    Stage stage;
    bool unreadable;
    ExitStatus expected;
  } cases[] = {
      {Stage::Parameters, false, ExitStatus::UsageError},
      {Stage::Stylesheet, true, ExitStatus::StylesheetUnreadable},
      {Stage::Stylesheet, false, ExitStatus::StylesheetError},
      {Stage::Expression, false, ExitStatus::StylesheetError},
      {Stage::Source, true, ExitStatus::DocumentError},
      {Stage::Run, true, ExitStatus::DocumentError},
      {Stage::Run, false, ExitStatus::RuntimeError},
  };
  for (const auto& c : cases) {
    LoopProbe probe({10, 20});
    ModeSteps steps;
    steps.stage = &c.stage;
    steps.setUp = [&] {
      if (c.unreadable)
        throw DocumentParseException("Could not open file, x");
      throw StylesheetException(SourceLocation(), "bad");
    };
    EXPECT_EQ(runTimedLoop(steps, 1, probe.environment()), c.expected)
        << int(c.stage) << " " << c.unreadable;
  }
}

TEST(TimedLoopTest, ErrorIsPrintedAsOneReportWithOneLineEnd) {
  LoopProbe probe({10, 20});
  ModeSteps steps;
  steps.setUp = [] {
    throw StylesheetException(SourceLocation{"s.xsl", 7, 3},
                              "Unrecognized attribute on xsl:sort, x");
  };
  EXPECT_EQ(runTimedLoop(steps, 1, probe.environment()), ExitStatus::RuntimeError);
  EXPECT_EQ(probe.errors(), "s.xsl:7:3: error: Unrecognized attribute on xsl:sort, x\n");
}

TEST(TimedLoopTest, TerminateExceptionIsNotTheLoopsToCatch) {
  LoopProbe probe({10, 20});
  ModeSteps steps;
  steps.run = [] { throw TerminateException(); };
  EXPECT_THROW(runTimedLoop(steps, 1, probe.environment()), TerminateException);
}

}  // namespace
}  // namespace ovra
