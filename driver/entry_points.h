// The in-process entry points for programs that embed the processor. They never let an
// XSLException out: its message is kept in lastError and the call reports failure.
#pragma once

#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/string.h"
#include "driver/command_line.h"
#include "driver/exit_status.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

class Stylesheet;

// The message of the last exception an entry point caught on this thread; empty at
// start-up. Each thread has its own, so that concurrent transformations keep theirs apart.
extern thread_local String lastError;
// The class of that failure, as the program's exit status; Success after a call that
// succeeded.
extern thread_local ExitStatus lastStatus;

// What an embedding program is told as the engine works: every error an entry point
// reports in lastError, every warning and every xsl:message. Installed for the whole
// process; the calls may come from any thread that runs an entry point (or the thread an
// entry point runs its work on), at the same time when several entry points run at once.
class ReportHandler {
 public:
  enum class Kind { Error = 0, Warning = 1, Message = 2 };
  virtual ~ReportHandler();
  // file may be empty and line and column 0 when they are not known.
  virtual void report(Kind kind, const SourceLocation& where, std::string_view text) = 0;
};
// Installs handler (null: none) for the calls that start afterwards; a call under way
// keeps the handler it started with. Without one, warnings and messages go to standard
// error.
void setReportHandler(std::shared_ptr<ReportHandler> handler);

// Builds the process-wide tables. Call once before anything else. Returns 1, or 0 with
// lastError set.
int startUp();
// Clears lastError. Returns 1.
int closeDown();
// The text of lastError; valid until lastError next changes.
const char* lastErrorText();
// The program's version, "major.minor.patch".
const char* versionText();

// Which local files source documents and document() may read besides the documents, for
// documents opened afterwards (the catalogs and other loading settings stay). Returns 1.
int setExternalAccess(ExternalAccess access);
// What the stylesheets compiled afterwards may write besides their result: no files, no
// folders, only inside folder (made absolute; null or empty: anywhere). Returns 1.
int setWriteLimits(bool noFiles, bool noFolders, const char* folder);

// Loads and compiles a stylesheet file, to be run any number of times. Null, with
// lastError set, when it cannot be read or compiled.
std::unique_ptr<Stylesheet> compileStylesheet(const char* fileName);
// The same from text in memory; fileName names it in messages and is what its relative
// references (xsl:import, xsl:include, document()) resolve against.
std::unique_ptr<Stylesheet> compileStylesheetText(std::string text, const char* fileName);

// One transformation of the XML file to stream, as one run of the transform mode: a
// fresh Document with a 65536-byte read buffer and a Serializer on stream, both gone
// before the call returns (the stream is flushed, not closed). The parameters are bound
// at the stylesheet's root element. Returns 1, or 0 with lastError set; what was written
// before an error stays written.
int transformFile(const Stylesheet& stylesheet, const char* xmlFile, std::FILE* stream,
                  const std::vector<ParameterOption>& parameters = {});
// The same for a document in memory; fileName names it in messages and is what its
// relative references resolve against.
int transformText(const Stylesheet& stylesheet, std::string text, const char* fileName,
                  std::FILE* stream, const std::vector<ParameterOption>& parameters = {});

// Both of these run the engine on a thread with a large stack, as the program does, so
// that deep recursion in a stylesheet ends with a message rather than a crash.

// A null pointer empties lastError. The status is that of the failure (Success with an
// empty text).
void setLastError(const char* text, ExitStatus status = ExitStatus::UsageError);
void setLastError(const ConstString& text, ExitStatus status = ExitStatus::UsageError);

}  // namespace ovra
