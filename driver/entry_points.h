// The in-process entry points for programs that embed the processor. They never let an
// XSLException out: its message is kept in lastError and the call reports failure.
#pragma once

#include "base/settings.h"
#include "base/string.h"
#include "driver/command_line.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace ovra {

class Stylesheet;

// The message of the last exception an entry point caught; empty at start-up.
extern String lastError;

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

// Loads and compiles a stylesheet file, to be run any number of times. Null, with
// lastError set, when it cannot be read or compiled.
std::unique_ptr<Stylesheet> compileStylesheet(const char* fileName);

// One transformation of the XML file to stream, as one run of the transform mode: a
// fresh Document with a 65536-byte read buffer and a Serializer on stream, both gone
// before the call returns (the stream is flushed, not closed). The parameters are bound
// at the stylesheet's root element. Returns 1, or 0 with lastError set; what was written
// before an error stays written.
int transformFile(const Stylesheet& stylesheet, const char* xmlFile, std::FILE* stream,
                  const std::vector<ParameterOption>& parameters = {});

// Both of these run the engine on a thread with a large stack, as the program does, so
// that deep recursion in a stylesheet ends with a message rather than a crash.

// A null pointer empties lastError.
void setLastError(const char* text);
void setLastError(const ConstString& text);

}  // namespace ovra
