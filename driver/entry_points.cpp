#include "driver/entry_points.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "driver/modes.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/resources.h"
#include "xslt/functions.h"
#include "xslt/stylesheet.h"

namespace ovra {

static constexpr char kCouldNotWrite[] = "Could not write the result";

String lastError;

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
    setLastError(error.message());
    return 0;
  }
}

int closeDown() {
  lastError.clear();
  return 1;
}

int setExternalAccess(ExternalAccess access) {
  auto settings = std::make_shared<LoadSettings>(*LoadSettings::defaults());
  settings->entityAccess = access;
  settings->documentAccess = access;
  LoadSettings::setDefaults(std::move(settings));
  return 1;
}

std::unique_ptr<Stylesheet> compileStylesheet(const char* fileName) {
  std::unique_ptr<Stylesheet> stylesheet;
  runOnLargeStack([&] {
    try {
      auto compiled = std::make_unique<Stylesheet>(fileName);
      compiled->load();
      stylesheet = std::move(compiled);
    } catch (const XSLException& error) {
      setLastError(error.message());
    }
  });
  return stylesheet;
}

int transformFile(const Stylesheet& stylesheet, const char* xmlFile, std::FILE* stream,
                  const std::vector<ParameterOption>& parameters) {
  int status = 0;
  runOnLargeStack([&] {
    try {
      Parameters bound = makeParameters(parameters, stylesheet.rootElement());
      Document source(xmlFile, Document::kSourceBufferSize, /*strip=*/false);
      Serializer out(stream);
      stylesheet.transform(source, out, &bound);
      out.flush();
      status = 1;
    } catch (const XSLException& error) {
      setLastError(error.message());
    }
  });
  if (std::fflush(stream) != 0 && status == 1) {
    setLastError(kCouldNotWrite);
    status = 0;
  }
  return status;
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
