#include "driver/entry_points.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "base/platform.h"
#include "driver/modes.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/resources.h"
#include "xslt/functions.h"
#include "xslt/stylesheet.h"

#include <functional>
#include <mutex>
#include <optional>

namespace ovra {

static constexpr char kCouldNotWrite[] = "Could not write the result";
static constexpr char kTerminated[] = "The transformation was terminated by xsl:message";

thread_local String lastError;
thread_local ExitStatus lastStatus = ExitStatus::Success;

ReportHandler::~ReportHandler() = default;

namespace {

std::mutex handlerMutex;
std::shared_ptr<ReportHandler> installedHandler;

std::shared_ptr<ReportHandler> currentHandler() {
  std::lock_guard lock(handlerMutex);
  return installedHandler;
}

// Hands the warnings and messages of the thread it is installed on to a handler.
class HandlerSink : public DiagnosticSink {
 public:
  explicit HandlerSink(ReportHandler& handler) : handler_(handler) {}
  void warning(const SourceLocation& where, std::string_view text) override {
    handler_.report(ReportHandler::Kind::Warning, where, text);
  }
  void message(std::string_view text) override {
    // The line end that ends every message is the stream's business, not the text's.
    if (!text.empty() && text.back() == '\n')
      text.remove_suffix(1);
    handler_.report(ReportHandler::Kind::Message, SourceLocation(), text);
  }

 private:
  ReportHandler& handler_;
};

// Where an error is, as far as it says.
SourceLocation locationOf(const XSLException& error, const char* fileName) {
  SourceLocation where = error.location();
  if (where.file.empty() && fileName != nullptr)
    where.file = String(fileName);
  return where;
}

// Runs work on a large stack, as the program does, so that deep recursion in a
// stylesheet ends with a message rather than a crash, with the handler taking the
// thread's reports. An XSLException ends the work with the status statusFor gives it at
// the stage the work has reached, its message in lastError and told to the handler.
// Answers whether the work ended without one.
bool runEntry(const char* fileName, Stage& stage, const std::function<void()>& work) {
  std::shared_ptr<ReportHandler> handler = currentHandler();
  String error;
  ExitStatus status = ExitStatus::Success;
  runOnLargeStack([&] {
    std::optional<HandlerSink> sink;
    std::optional<ScopedDiagnosticSink> installed;
    if (handler) {
      sink.emplace(*handler);
      installed.emplace(&*sink);
    }
    try {
      work();
    } catch (const XSLException& caught) {
      error = caught.message();
      status = statusFor(stage, caught);
      if (handler) {
        std::string_view text = error.view();
        // The program ends some messages with a line end of their own.
        while (!text.empty() && text.back() == '\n')
          text.remove_suffix(1);
        handler->report(ReportHandler::Kind::Error, locationOf(caught, fileName), text);
      }
    }
  });
  if (status == ExitStatus::Success)
    return true;
  setLastError(error, status);
  return false;
}

}  // namespace

void setReportHandler(std::shared_ptr<ReportHandler> handler) {
  std::lock_guard lock(handlerMutex);
  installedHandler = std::move(handler);
}

// Every table that is built once per process and read without locking afterwards.
static void buildStartUpTables() {
  // Start-up hook: register the XPath lexer's keyword tables, the function registry and
  // the XSLT keyword table here, in that order.
  xsltFunctions();
}

int startUp() {
  try {
    buildStartUpTables();
    return 1;
  } catch (const XSLException& error) {
    setLastError(error.message(), ExitStatus::RuntimeError);
    return 0;
  }
}

int closeDown() {
  setLastError(nullptr);
  return 1;
}

int setExternalAccess(ExternalAccess access) {
  auto settings = std::make_shared<LoadSettings>(*LoadSettings::defaults());
  settings->entityAccess = access;
  settings->documentAccess = access;
  LoadSettings::setDefaults(std::move(settings));
  return 1;
}

// Read by every compile; changed only while no other call runs (ovra.h).
static WriteLimits writeLimits;

int setWriteLimits(bool noFiles, bool noFolders, const char* folder) {
  writeLimits = WriteLimits::of(noFiles, noFolders, folder != nullptr ? folder : "");
  return 1;
}

static CompileOptions apiCompileOptions() {
  CompileOptions options;
  options.writeLimits = writeLimits;
  return options;
}

static std::unique_ptr<Stylesheet>
compile(const char* fileName, const std::function<std::unique_ptr<Stylesheet>()>& make) {
  std::unique_ptr<Stylesheet> stylesheet;
  Stage stage = Stage::Stylesheet;
  runEntry(fileName, stage, [&] {
    std::unique_ptr<Stylesheet> compiled = make();
    compiled->load();
    stylesheet = std::move(compiled);
  });
  return stylesheet;
}

std::unique_ptr<Stylesheet> compileStylesheet(const char* fileName) {
  return compile(fileName,
                 [&] { return std::make_unique<Stylesheet>(fileName, apiCompileOptions()); });
}

std::unique_ptr<Stylesheet> compileStylesheetText(std::string text, const char* fileName) {
  return compile(fileName, [&] {
    return Stylesheet::fromText(std::move(text), String(fileName), apiCompileOptions());
  });
}

// One run of stylesheet over the document that makeSource opens.
static int transform(const Stylesheet& stylesheet, const char* fileName,
                     const std::function<std::unique_ptr<Document>()>& makeSource,
                     std::FILE* stream, const std::vector<ParameterOption>& parameters) {
  bool terminated = false;
  Stage stage = Stage::Parameters;
  bool ran = runEntry(fileName, stage, [&] {
    Parameters bound = makeParameters(parameters, stylesheet.rootElement());
    stage = Stage::Run;
    std::unique_ptr<Document> source = makeSource();
    Serializer out(stream);
    terminated = !stylesheet.transform(*source, out, &bound);
    out.flush();
  });
  if (!ran)
    return 0;
  if (std::fflush(stream) != 0) {
    setLastError(kCouldNotWrite, ExitStatus::OutputError);
    return 0;
  }
  if (terminated) {
    setLastError(kTerminated, ExitStatus::Terminated);
    return 0;
  }
  return 1;
}

int transformFile(const Stylesheet& stylesheet, const char* xmlFile, std::FILE* stream,
                  const std::vector<ParameterOption>& parameters) {
  return transform(
      stylesheet, xmlFile,
      [&] {
        return std::make_unique<Document>(String(xmlFile), Document::kSourceBufferSize,
                                          /*strip=*/false);
      },
      stream, parameters);
}

int transformText(const Stylesheet& stylesheet, std::string text, const char* fileName,
                  std::FILE* stream, const std::vector<ParameterOption>& parameters) {
  return transform(
      stylesheet, fileName,
      [&] {
        return Document::fromText(std::move(text), String(fileName), Document::kSourceBufferSize,
                                  /*strip=*/false);
      },
      stream, parameters);
}

const char* lastErrorText() {
  return lastError.c_str();
}

const char* versionText() {
  return OVRA_VERSION;
}

void setLastError(const char* text, ExitStatus status) {
  lastError = String(text);
  lastStatus = text == nullptr ? ExitStatus::Success : status;
}

void setLastError(const ConstString& text, ExitStatus status) {
  lastError = String(text);
  lastStatus = status;
}

}  // namespace ovra
