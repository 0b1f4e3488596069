// The two mode loops of the ovra program, and the timing loop they share: set up once,
// read the clock, repeat the run, read the clock again, report. Every input error of a
// mode ends here: the loop prints it and answers status 1.
#pragma once

#include "driver/command_line.h"
#include "xslt/parameters.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace ovra {

class Expr;
class EvaluationHost;
class Node;
class Serializer;

// The XML file name that stands for standard input, and the name that input goes by in
// messages.
inline constexpr char kStandardInputWord[] = "-";
inline constexpr char kStandardInputName[] = "(standard input)";

// What a loop touches besides the engine, so a test can pass a fake clock, a temporary
// file for the messages and another stream for standard input.
struct LoopEnvironment {
  std::FILE* errors;                     // messages and the timing report
  std::function<std::uint32_t()> ticks;  // milliseconds; only differences count
  std::FILE* input = stdin;              // read for the XML file name "-"

  // Standard error and the platform's tick counter.
  static LoopEnvironment standard();
};

// The engine work of one mode, cut where the timing loop needs it. Each step may throw
// XSLException; an empty step does nothing.
struct ModeSteps {
  std::function<void()> setUp;   // before the clock starts: compile, load
  std::function<void()> run;     // one timed run, with its output
  std::function<void()> finish;  // after the clock stops, before the report; skipped
                                 // when an exception ended the loop
};

// Runs setUp, then run `runs` times between two clock readings, then finish, and with
// more than one run writes the timing report. With runs of 0 or less only setUp and
// finish happen. Returns 0, or 1 after printing the message of an XSLException thrown by
// any step (nothing further runs then, and no report is written).
int runTimedLoop(const ModeSteps& steps, std::int32_t runs, const LoopEnvironment& environment);

// The parameters of a run, their names and expressions resolving prefixes at
// namespaceContext (the stylesheet's root element, or the source root for -p). Throws
// ParameterException.
Parameters makeParameters(const std::vector<ParameterOption>& options,
                          const Node* namespaceContext);

// The XPath mode: compiles the expression against the XML file's root once and writes
// every result of each run to `out`, one per line. The parameters are variables the
// expression can reference, evaluated once, before the clock starts, at the root.
int runXPathMode(const char* expression, const char* xmlFile, Serializer& out, std::int32_t runs,
                 const LoopEnvironment& environment,
                 const std::vector<ParameterOption>& parameters = {});

// One run of the XPath mode: evaluates compiled at root and writes every result to
// `out`, each followed by a line end (node-sets are streamed, one node at a time).
// variables, when not null, answers the expression's variable references.
void writeXPathResults(const Expr& compiled, Node* root, Serializer& out,
                       EvaluationHost* variables = nullptr);

// The transform mode: compiles the stylesheet once; each run reads the XML file afresh
// and transforms it to `out`, the parameters replacing the defaults of the top-level
// xsl:params of their names. Standard input can be read only once: with more than one
// run it is read whole before the clock starts and each run parses that copy.
int runTransformMode(const char* stylesheetFile, const char* xmlFile, Serializer& out,
                     std::int32_t runs, const LoopEnvironment& environment,
                     const std::vector<ParameterOption>& parameters = {});

}  // namespace ovra
