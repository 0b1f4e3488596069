#include "driver/program.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "base/output.h"
#include "base/platform.h"
#include "driver/modes.h"
#include "output/output_file.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/node.h"
#include "tree/resources.h"
#include "xslt/result_documents.h"
#include "xslt/stylesheet.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace ovra {

static constexpr char kTryHelp[] = "; try 'ovra --help'";
static constexpr char kStandardOutputName[] = "standard output";
static constexpr char kSaveStep[] = "Saving result";
static constexpr char kSeveralDocuments[] =
    "with several documents -o names a folder (ending in '/') or '-', not '";
static constexpr char kInputInFolder[] =
    "the document read from standard input has no name to write under in ";
static constexpr char kSameOutput[] = "two documents would write the same file ";
static constexpr char kNoStylesheet[] =
    ": error: no stylesheet named, and the document names none in an "
    "<?xml-stylesheet type=\"text/xsl\" href=\"...\"?> before its first element";
static constexpr char kEmbeddedStylesheet[] =
    ": error: stylesheets embedded in the document (href=\"#...\") are not supported: ";

// ---- Where results go ----

static bool isFolder(const char* path) {
  struct stat status {};
  return ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

static std::string_view baseName(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

Targets resolveTargets(const Options& options) {
  Targets resolved;
  const char* output = options.output;
  bool toStandardOutput = output == nullptr || std::strcmp(output, "-") == 0;
  std::size_t length = output != nullptr ? std::strlen(output) : 0;
  bool folder = !toStandardOutput && options.outputOption &&
                ((length > 0 && output[length - 1] == '/') || isFolder(output));
  if (!options.noOutput && !toStandardOutput && !folder && options.documents.size() > 1) {
    resolved.error = kSeveralDocuments + std::string(output) + "'";
    return resolved;
  }
  std::set<std::string> files;
  for (const char* document : options.documents) {
    Target target{document, std::string(), options.noOutput};
    if (!options.noOutput && folder) {
      if (std::strcmp(document, "-") == 0) {
        resolved.error = kInputInFolder + std::string(output);
        resolved.targets.clear();
        return resolved;
      }
      target.file = output;
      if (target.file.back() != '/')
        target.file += '/';
      target.file += baseName(document);
      if (!files.insert(target.file).second) {
        resolved.error = kSameOutput + target.file;
        resolved.targets.clear();
        return resolved;
      }
    } else if (!options.noOutput && !toStandardOutput) {
      target.file = output;
    }
    resolved.targets.push_back(std::move(target));
  }
  return resolved;
}

// ---- The stylesheet a document names ----

// The value of the pseudo-attribute name in a processing instruction's data
// (name="value" or name='value'); nullopt when it is not there.
static std::optional<std::string> pseudoAttribute(std::string_view data, std::string_view name) {
  std::size_t i = 0;
  while (i < data.size()) {
    while (i < data.size() &&
           (data[i] == ' ' || data[i] == '\t' || data[i] == '\n' || data[i] == '\r'))
      ++i;
    std::size_t nameStart = i;
    while (i < data.size() && data[i] != '=' && data[i] != ' ')
      ++i;
    std::string_view found = data.substr(nameStart, i - nameStart);
    while (i < data.size() && data[i] == ' ')
      ++i;
    if (i >= data.size() || data[i] != '=')
      return std::nullopt;
    ++i;
    while (i < data.size() && data[i] == ' ')
      ++i;
    if (i >= data.size() || (data[i] != '"' && data[i] != '\''))
      return std::nullopt;
    char quote = data[i++];
    std::size_t end = data.find(quote, i);
    if (end == std::string_view::npos)
      return std::nullopt;
    if (found == name)
      return std::string(data.substr(i, end - i));
    i = end + 1;
  }
  return std::nullopt;
}

static bool isStylesheetType(std::string_view type) {
  return type == "text/xsl" || type == "text/xml" || type == "application/xml" ||
         type == "application/xslt+xml";
}

// The href of the first xml-stylesheet processing instruction of an XSLT type that is
// not an alternate, before the document element; empty when there is none.
static std::string stylesheetReference(Document& document) {
  if (document.root() == nullptr)
    document.parseChunk();
  for (Node* node = document.root()->firstChild(); node != nullptr; node = node->nextSibling()) {
    if (node->kind() == NodeKind::Element)
      break;
    if (node->kind() != NodeKind::ProcessingInstruction)
      continue;
    auto* instruction = static_cast<ProcessingInstructionNode*>(node);
    if (std::strcmp(instruction->target(), "xml-stylesheet") != 0)
      continue;
    std::string_view data = instruction->data();
    std::optional<std::string> type = pseudoAttribute(data, "type");
    std::optional<std::string> href = pseudoAttribute(data, "href");
    std::optional<std::string> alternate = pseudoAttribute(data, "alternate");
    if (type && href && isStylesheetType(*type) && alternate.value_or("no") != "yes")
      return *href;
  }
  return std::string();
}

// Reads the stylesheet reference of one document, given whole in text or by file name.
// A relative reference is resolved against the document's folder.
static std::string stylesheetOf(const char* documentName, const std::string* text,
                                std::string& reference) {
  std::unique_ptr<Document> document =
      text != nullptr
          ? Document::fromText(*text, String(kStandardInputName), Document::kRegistryBufferSize,
                               false)
          : std::make_unique<Document>(String(documentName), Document::kRegistryBufferSize, false);
  reference = stylesheetReference(*document);
  if (reference.empty() || reference[0] == '/' || reference[0] == '#' ||
      reference.find("://") != std::string::npos)
    return reference;
  if (text != nullptr)
    return reference;  // standard input: the current folder
  return std::string(directoryOf(fullPathName(String(documentName))).c_str()) + reference;
}

// ---- Running ----

namespace {

CompileOptions compileOptions(const Settings& settings) {
  CompileOptions options;
  options.strict = settings.strict;
  options.maxTemplateDepth = settings.maxTemplateDepth;
  options.randomSeed = settings.randomSeed;
  options.writeLimits = WriteLimits::of(settings.noWrite, settings.noMkdir, settings.writeSubtree);
  return options;
}

// --noout: the result is made and dropped.
class DiscardOutput : public Output {
 public:
  ~DiscardOutput() override = default;
  void write(const char*, std::size_t) override {}
  void flush() override {}
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

class Program {
 public:
  Program(const Options& options, const LoopEnvironment& environment, std::FILE* standardOutput)
      : options_(options), environment_(environment), standardOutput_(standardOutput) {}

  ExitStatus run();

 private:
  // The compiled stylesheet for target, or null after printing why there is none (its
  // status in status).
  const CompiledStylesheet* stylesheetFor(const Target& target, LoopEnvironment& environment,
                                          std::string& inputCopy, ExitStatus& status);
  // Runs one target; in a batch, order puts its files in the place of run number `run`.
  ExitStatus runOne(const Target& target, const LoopEnvironment& base,
                    ReplacementOrder* order = nullptr, std::size_t run = 0);
  // Runs the targets on `jobs` threads at once; each document's reports are kept apart
  // and written in document order. Answers the status of the first failure.
  ExitStatus runConcurrently(const std::vector<Target>& targets, std::size_t jobs);
  // How many documents may run at once: one unless every result goes to a file of its
  // own (or nowhere) and no document is standard input.
  std::size_t jobsFor(const std::vector<Target>& targets) const;
  static void print(const LoopEnvironment& environment, const std::string& text) {
    std::fprintf(environment.errors, "%s\n", text.c_str());
  }

  const Options& options_;
  const LoopEnvironment& environment_;
  std::FILE* standardOutput_;
  CompiledStylesheet shared_;  // the stylesheet named on the command line
  // Stylesheets that documents name, by the name they are opened under, each compiled
  // once; a failed one keeps its status so that it is reported once.
  std::map<std::string, CompiledStylesheet> named_;
  std::map<std::string, ExitStatus> failed_;
  std::mutex namedMutex_;  // guards named_ and failed_ in concurrent runs
};

ExitStatus Program::run() {
  Targets resolved = resolveTargets(options_);
  if (!resolved.error.empty()) {
    print(environment_, "ovra: error: " + resolved.error + kTryHelp);
    return ExitStatus::UsageError;
  }
  if (!options_.xpathMode && options_.stylesheet != nullptr) {
    ExitStatus status = loadStylesheet(options_.stylesheet, options_.parameters, environment_,
                                       shared_, compileOptions(options_.settings));
    if (status != ExitStatus::Success)
      return status;
  }
  if (std::size_t jobs = jobsFor(resolved.targets); jobs > 1)
    return runConcurrently(resolved.targets, jobs);
  ExitStatus first = ExitStatus::Success;
  for (const Target& target : resolved.targets) {
    ExitStatus status = runOne(target, environment_);
    if (first == ExitStatus::Success)
      first = status;
  }
  return first;
}

std::size_t Program::jobsFor(const std::vector<Target>& targets) const {
  std::size_t jobs = options_.jobs != 0 ? std::size_t(options_.jobs) : processorCount();
  jobs = std::min(jobs, targets.size());
  for (const Target& target : targets) {
    if ((!target.discard && target.file.empty()) ||
        std::strcmp(target.document, kStandardInputWord) == 0)
      return 1;
  }
  return jobs;
}

// The reports of one document, written to memory while it runs.
struct Reports {
  std::string text;
  ExitStatus status = ExitStatus::Success;
  bool done = false;
};

ExitStatus Program::runConcurrently(const std::vector<Target>& targets, std::size_t jobs) {
  std::vector<Reports> reports(targets.size());
  std::mutex mutex;
  std::size_t next = 0;     // the next target to start
  std::size_t written = 0;  // targets whose reports have been written
  ReplacementOrder order;   // two documents writing one file: the later one's stands
  // The program runs on a large stack already (main.cpp): this thread is one of the jobs.
  runHereAndOnLargeStacks(jobs - 1, [&] {
    // One memory stream per thread, emptied after each document: a stream per document
    // would take stdio's process-wide list lock twice for each.
    char* memoryText = nullptr;
    std::size_t memorySize = 0;
    std::FILE* memory = ::open_memstream(&memoryText, &memorySize);
    for (;;) {
      std::size_t index;
      {
        std::lock_guard lock(mutex);
        if (next == targets.size())
          break;
        index = next++;
      }
      Reports& own = reports[index];
      LoopEnvironment environment = environment_;
      ExitStatus status;
      if (memory != nullptr) {
        environment.errors = memory;
        {
          ScopedReportStream stream(memory);
          status = runOne(targets[index], environment, &order, index);
        }
        // The size is the position, which went back to the start after the last document.
        if (std::fflush(memory) == 0)
          own.text.assign(memoryText, memorySize);
        std::fseek(memory, 0, SEEK_SET);
      } else {
        // The reports go as they come.
        status = runOne(targets[index], environment, &order, index);
      }
      // Whoever finishes the earliest unwritten document writes the reports of every
      // finished document up to the next unfinished one.
      std::lock_guard lock(mutex);
      own.status = status;
      own.done = true;
      for (; written < reports.size() && reports[written].done; ++written) {
        Reports& ready = reports[written];
        std::fwrite(ready.text.data(), 1, ready.text.size(), environment_.errors);
        ready.text = std::string();
      }
      std::fflush(environment_.errors);
    }
    if (memory != nullptr)
      std::fclose(memory);
    std::free(memoryText);
  });
  for (const Reports& done : reports) {
    if (done.status != ExitStatus::Success)
      return done.status;
  }
  return ExitStatus::Success;
}

const CompiledStylesheet* Program::stylesheetFor(const Target& target, LoopEnvironment& environment,
                                                 std::string& inputCopy, ExitStatus& status) {
  if (options_.stylesheet != nullptr)
    return &shared_;
  bool fromInput = std::strcmp(target.document, kStandardInputWord) == 0;
  std::string reference;
  std::string file;
  try {
    if (fromInput) {
      char buffer[65536];
      std::size_t count;
      while ((count = std::fread(buffer, 1, sizeof buffer, environment.input)) > 0)
        inputCopy.append(buffer, count);
    }
    file = stylesheetOf(target.document, fromInput ? &inputCopy : nullptr, reference);
  } catch (const XSLException& error) {
    print(environment, error.message().c_str());
    status = ExitStatus::DocumentError;
    return nullptr;
  }
  const char* name = fromInput ? kStandardInputName : target.document;
  if (reference.empty()) {
    print(environment, name + std::string(kNoStylesheet));
    status = ExitStatus::UsageError;
    return nullptr;
  }
  if (reference[0] == '#') {
    print(environment, name + std::string(kEmbeddedStylesheet) + reference);
    status = ExitStatus::StylesheetUnreadable;
    return nullptr;
  }
  // A URI is read from the local file a catalog maps it to; the loader says why when none
  // does.
  if (reference.find("://") != std::string::npos)
    file =
        reference.rfind("file://", 0) == 0 ? reference.substr(std::strlen("file://")) : reference;
  std::lock_guard lock(namedMutex_);
  if (auto found = failed_.find(file); found != failed_.end()) {
    status = found->second;
    return nullptr;
  }
  if (auto found = named_.find(file); found != named_.end())
    return &found->second;
  CompiledStylesheet compiled;
  status = loadStylesheet(file.c_str(), options_.parameters, environment, compiled,
                          compileOptions(options_.settings));
  if (status != ExitStatus::Success) {
    failed_.emplace(file, status);
    return nullptr;
  }
  return &named_.emplace(file, std::move(compiled)).first->second;
}

ExitStatus Program::runOne(const Target& target, const LoopEnvironment& base,
                           ReplacementOrder* order, std::size_t run) {
  LoopEnvironment environment = base;
  std::string inputCopy;  // standard input, read to find the stylesheet it names
  std::unique_ptr<std::FILE, FileCloser> inputAgain;
  const CompiledStylesheet* compiled = nullptr;
  if (!options_.xpathMode) {
    ExitStatus status = ExitStatus::Success;
    compiled = stylesheetFor(target, environment, inputCopy, status);
    if (compiled == nullptr)
      return status;
    if (!inputCopy.empty()) {
      // The transformation reads what the search for the stylesheet consumed.
      inputAgain.reset(::fmemopen(inputCopy.data(), inputCopy.size(), "r"));
      if (inputAgain)
        environment.input = inputAgain.get();
    }
  }
  std::optional<OutputFile> file;
  if (!target.discard && !target.file.empty()) {
    try {
      file.emplace(target.file.c_str());
    } catch (const OutputException& error) {
      print(environment, error.message().c_str());
      return ExitStatus::OutputError;
    }
  }
  // Documents the stylesheet writes on its own (exsl:document) go beside the result, and
  // replace their files only once it is safe.
  ResultDocuments documents(target.discard ? std::string_view() : std::string_view(target.file));
  DiscardOutput discard;
  std::unique_ptr<Serializer> out =
      target.discard ? std::make_unique<Serializer>(discard)
                     : std::make_unique<Serializer>(file ? file->stream() : standardOutput_);
  ExitStatus status = options_.xpathMode
                          ? runXPathMode(options_.expression, target.document, *out, options_.runs,
                                         environment, options_.parameters)
                          : transformDocument(*compiled, target.document, *out, options_.runs,
                                              environment, &documents);
  out->flush();
  // With no run there is no result to replace the file with.
  if (status != ExitStatus::Success || options_.runs == 0)
    return status;
  std::uint32_t t0 = environment.ticks();
  try {
    // With --noout the documents are written all the same, as xsltproc writes them.
    if (file && order != nullptr)
      order->commit(*file, run, out->writeError());
    else if (file)
      file->commit(out->writeError());
    else if (!target.discard)
      checkWritten(standardOutput_, kStandardOutputName, out->writeError());
    documents.commit(order, run);
  } catch (const OutputException& error) {
    print(environment, error.message().c_str());
    return ExitStatus::OutputError;
  }
  reportTime(environment, kSaveStep, environment.ticks() - t0);
  return status;
}

}  // namespace

ExitStatus runProgram(const Options& options, const LoopEnvironment& environment,
                      std::FILE* standardOutput) {
  LoadSettings::setDefaults(LoadSettings::from(options.settings));
  // The process ends after the run: its compiled stylesheets, thousands of expressions
  // each, go with it rather than being freed one by one (4% of a DocBook page). Held
  // where leak checkers see them reachable.
  static auto* kept = new std::vector<std::unique_ptr<Program>>();
  kept->push_back(std::make_unique<Program>(options, environment, standardOutput));
  return kept->back()->run();
}

}  // namespace ovra
