#include "tests/support/test_transform.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tests/support/collected_warnings.h"
#include "tree/document.h"
#include "tree/text_buffer.h"
#include "xslt/stylesheet.h"

#include <memory>

namespace ovra {

TransformResult transformText(std::string_view stylesheetText, std::string_view sourceText,
                              const std::vector<TestParameter>& parameters,
                              CompileOptions options) {
  TransformResult result;
  TextBuffer buffer;
  runOnLargeStack([&] {
    CollectedWarnings warnings;
    try {
      std::unique_ptr<Stylesheet> stylesheet =
          Stylesheet::fromText(std::string(stylesheetText), "s.xsl", options);
      stylesheet->load();
      Parameters bound;
      for (const TestParameter& parameter : parameters)
        bound.add(parameter.name, parameter.value, parameter.kind, stylesheet->rootElement());
      std::unique_ptr<Document> source = Document::fromText(
          std::string(sourceText), "in.xml", Document::kSourceBufferSize, /*strip=*/false);
      Serializer serializer(buffer);
      try {
        stylesheet->transform(*source, serializer, &bound);
      } catch (const XSLException&) {
        serializer.flush();
        throw;
      }
    } catch (const XSLException& error) {
      result.error = error.message().view();
    }
    result.warnings = warnings.take();
  });
  result.output = buffer.view();
  return result;
}

std::string transformOrError(std::string_view stylesheet, std::string_view source,
                             const std::vector<TestParameter>& parameters, CompileOptions options) {
  TransformResult result = transformText(stylesheet, source, parameters, options);
  std::string text;
  std::string_view warnings = result.warnings;
  while (!warnings.empty()) {
    std::size_t end = warnings.find('\n') + 1;
    text += "WARNING: ";
    text += warnings.substr(0, end);
    warnings.remove_prefix(end);
  }
  if (!result.error.empty())
    return text + "ERROR: " + result.error;
  return text + result.output;
}

std::string valueOfExpression(std::string_view expression, std::string_view source) {
  std::string stylesheet =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
      "xmlns:exsl='http://exslt.org/common' xmlns:common='http://exslt.org/common' "
      "xmlns:str='http://exslt.org/strings' xmlns:my='urn:mine'>"
      "<xsl:output method='text'/><xsl:variable name='rtf'><x>1</x><y/></xsl:variable>"
      "<xsl:template match='/'><xsl:value-of select=\"";
  stylesheet += expression;
  stylesheet += "\"/></xsl:template></xsl:stylesheet>";
  return transformOrError(stylesheet, source);
}

std::string stylesheetOf(std::string_view topLevel) {
  std::string text =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output omit-xml-declaration='yes'/>";
  text += topLevel;
  text += "</xsl:stylesheet>";
  return text;
}

CompileOptions strictOptions() {
  CompileOptions options;
  options.strict = true;
  return options;
}

}  // namespace ovra
