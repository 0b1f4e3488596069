// The in-process entry points for programs that embed the processor. They never let an
// XSLException out: its message is kept in lastError and the call reports failure.
#pragma once

#include "base/string.h"

namespace ovra {

// The message of the last exception an entry point caught; empty at start-up.
extern String lastError;

// Builds the process-wide tables. Call once before anything else. Returns 1, or 0 with
// lastError set.
int startUp();
// Clears lastError and destroys every Document the DocumentRegistry holds. Returns 1.
int closeDown();
// The text of lastError; valid until lastError next changes.
const char* lastErrorText();
// The program's version, "major.minor.patch".
const char* versionText();

// A null pointer empties lastError.
void setLastError(const char* text);
void setLastError(const ConstString& text);

}  // namespace ovra
