// The two mode loops of the ovra program, and the timing loop they share: set up once,
// read the clock, repeat the run, read the clock again, report. Every input error of a
// mode ends here: the loop prints it and answers the exit status of its class.
#pragma once

#include "driver/command_line.h"
#include "driver/exit_status.h"
#include "xslt/parameters.h"
#include "xslt/stylesheet.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ovra {

class Expr;
class EvaluationHost;
class Node;
class ResultDocuments;
class Serializer;
class Stylesheet;
class XSLException;

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
  bool timing = false;                   // --timing: report each step's time to errors

  // Standard error and the platform's tick counter.
  static LoopEnvironment standard();
};

// The work under way in a mode, which decides what an error means for the exit status.
enum class Stage : std::uint8_t {
  Parameters = 0,  // binding --param and --stringparam: a usage error
  Stylesheet = 1,  // loading and compiling the stylesheet and the modules it names
  Expression = 2,  // compiling the -p expression: a stylesheet error
  Source = 3,      // reading the source document before the runs
  Run = 4,         // the timed runs, which may also read the source as they go
};

// The exit status for error, thrown while stage was under way: a document that cannot
// be read or parsed is the stylesheet's (4) while compiling and the source's (6)
// afterwards; anything else is a stylesheet error (5) while compiling, a run-time error
// (9) while running.
ExitStatus statusFor(Stage stage, const XSLException& error);

// The engine work of one mode, cut where the timing loop needs it. Each step may throw
// XSLException; an empty step does nothing.
struct ModeSteps {
  std::function<void()> setUp;   // before the clock starts: compile, load
  std::function<void()> run;     // one timed run, with its output
  std::function<void()> finish;  // after the clock stops, before the report; skipped
                                 // when an exception ended the loop
  // Kept current by the steps as they move from one kind of work to the next; null
  // counts as Stage::Run.
  const Stage* stage = nullptr;
};

// Writes "<step> took <milliseconds> ms" to environment.errors when timing is on.
void reportTime(const LoopEnvironment& environment, const std::string& step,
                std::uint32_t milliseconds);

// Runs setUp, then run `runs` times between two clock readings, then finish, and with
// more than one run writes the timing report. With runs of 0 or less only setUp and
// finish happen. Returns Success, or after printing the message of an XSLException
// thrown by any step (nothing further runs then, and no report is written) the status
// statusFor gives it.
ExitStatus runTimedLoop(const ModeSteps& steps, std::int32_t runs,
                        const LoopEnvironment& environment);

// The parameters of a run, their names and expressions resolving prefixes at
// namespaceContext (the stylesheet's root element, or the source root for -p). Throws
// ParameterException.
Parameters makeParameters(const std::vector<ParameterOption>& options,
                          const Node* namespaceContext);

// The XPath mode: compiles the expression against the XML file's root once and writes
// every result of each run to `out`, one per line. Answers as runTimedLoop does. The parameters are
// variables the expression can reference, evaluated once, before the clock starts, at the root.
ExitStatus runXPathMode(const char* expression, const char* xmlFile, Serializer& out,
                        std::int32_t runs, const LoopEnvironment& environment,
                        const std::vector<ParameterOption>& parameters = {});

// One run of the XPath mode: evaluates compiled at root and writes every result to
// `out`, each followed by a line end (node-sets are streamed, one node at a time).
// variables, when not null, answers the expression's variable references.
void writeXPathResults(const Expr& compiled, Node* root, Serializer& out,
                       EvaluationHost* variables = nullptr);

// A stylesheet compiled once for any number of documents, with the run's parameters
// bound at its root element.
struct CompiledStylesheet {
  std::unique_ptr<Stylesheet> stylesheet;
  Parameters parameters;
};

// Loads and compiles the stylesheet file ("-": read whole from environment.input) and
// binds the parameters. Returns Success, or prints the error and returns its status.
ExitStatus loadStylesheet(const char* stylesheetFile,
                          const std::vector<ParameterOption>& parameters,
                          const LoopEnvironment& environment, CompiledStylesheet& compiled,
                          CompileOptions options = {});

// Transforms one document with a compiled stylesheet, `runs` times through the timing
// loop: each run reads the XML file afresh and transforms it to `out`. Standard input
// can be read only once: with more than one run it is read whole before the clock starts
// and each run parses that copy. A run that xsl:message terminate="yes" ends answers
// Terminated once the loop is done. The files the stylesheet writes besides its result
// (exsl:document) go to documents, for the caller to commit; without it each successful
// run commits its own.
ExitStatus transformDocument(const CompiledStylesheet& compiled, const char* xmlFile,
                             Serializer& out, std::int32_t runs, const LoopEnvironment& environment,
                             ResultDocuments* documents = nullptr);

// The transform mode for one document: loadStylesheet, then transformDocument.
ExitStatus runTransformMode(const char* stylesheetFile, const char* xmlFile, Serializer& out,
                            std::int32_t runs, const LoopEnvironment& environment,
                            const std::vector<ParameterOption>& parameters = {});

}  // namespace ovra
