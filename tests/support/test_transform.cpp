#include "tests/support/test_transform.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/text_buffer.h"
#include "xslt/stylesheet.h"

#include <memory>

namespace ovra {

TransformResult transformText(std::string_view stylesheetText, std::string_view sourceText,
                              const std::vector<TestParameter>& parameters) {
  TransformResult result;
  TextBuffer buffer;
  runOnLargeStack([&] {
    try {
      std::unique_ptr<Stylesheet> stylesheet =
          Stylesheet::fromText(std::string(stylesheetText), "s.xsl");
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
  });
  result.output = buffer.view();
  return result;
}

std::string transformOrError(std::string_view stylesheet, std::string_view source,
                             const std::vector<TestParameter>& parameters) {
  TransformResult result = transformText(stylesheet, source, parameters);
  if (!result.error.empty())
    return "ERROR: " + result.error;
  return result.output;
}

std::string stylesheetOf(std::string_view topLevel) {
  std::string text =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output omit-xml-declaration='yes'/>";
  text += topLevel;
  text += "</xsl:stylesheet>";
  return text;
}

}  // namespace ovra
