#include "driver/entry_points.h"

#include "base/exceptions.h"
#include "tree/document.h"

namespace ovra {

String lastError;

// Every table that is built once per process and read without locking afterwards.
static void buildStartUpTables() {
  // Start-up hook: register the XPath lexer's keyword tables, the core function table and
  // the XSLT keyword table here, in that order.
}

int startUp() {
  try {
    buildStartUpTables();
    return 1;
  } catch (const XSLException& error) {
    setLastError(error.message());
    return 0;
  }
}

int closeDown() {
  lastError.clear();
  DocumentRegistry::closeAll();
  return 1;
}

const char* lastErrorText() {
  return lastError.c_str();
}

const char* versionText() {
  return OVRA_VERSION;
}

void setLastError(const char* text) {
  lastError = String(text);
}

void setLastError(const ConstString& text) {
  lastError = String(text);
}

}  // namespace ovra
