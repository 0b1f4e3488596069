// The table form of the EXSLT module tests: an expression, evaluated at the root of a
// source document inside xsl:copy-of, and the markup or text it writes.
#pragma once

#include "tests/support/test_transform.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

namespace ovra {

struct ExsltCase {
  const char* expression;
  // What xsl:copy-of writes (node-sets as markup, other values as their string), or
  // "ERROR: " and the message without its " on line 1 in s.xsl".
  const char* expected;
};

// Every EXSLT namespace under its usual prefix; the sets namespace also as "s2", to show
// that a function is found by its expanded name. $rtf is a result tree fragment and $tree
// its node-set.
inline std::string exsltStylesheet(std::string_view expression) {
  std::string quoted;
  for (char c : expression)
    quoted += c == '"' ? std::string("&quot;") : c == '<' ? std::string("&lt;") : std::string(1, c);
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
         "xmlns:exsl='http://exslt.org/common' xmlns:set='http://exslt.org/sets' "
         "xmlns:s2='http://exslt.org/sets' xmlns:math='http://exslt.org/math' "
         "xmlns:str='http://exslt.org/strings' xmlns:date='http://exslt.org/dates-and-times' "
         "xmlns:dyn='http://exslt.org/dynamic' "
         "exclude-result-prefixes='exsl set s2 math str date dyn'>"
         "<xsl:output method='xml' omit-xml-declaration='yes'/>"
         "<xsl:variable name='rtf'><p>1</p><p>2</p></xsl:variable>"
         "<xsl:variable name='tree' select='exsl:node-set($rtf)'/>"
         "<xsl:template match='/'><xsl:copy-of select=\"" +
         quoted + "\"/></xsl:template></xsl:stylesheet>";
}

inline std::string exsltResult(std::string_view expression, std::string_view source) {
  std::string result = transformOrError(exsltStylesheet(expression), source);
  constexpr std::string_view kWhere = " on line 1 in s.xsl";
  if (result.starts_with("ERROR: ") && result.ends_with(kWhere))
    result.resize(result.size() - kWhere.size());
  return result;
}

inline void expectExsltCases(std::span<const ExsltCase> cases, std::string_view source) {
  for (const ExsltCase& c : cases)
    EXPECT_EQ(exsltResult(c.expression, source), c.expected) << c.expression;
}

}  // namespace ovra
