#include "tests/support/test_transform.h"
#include "xslt/parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovra {
namespace {

constexpr Parameters::Kind kString = Parameters::Kind::String;
constexpr Parameters::Kind kExpression = Parameters::Kind::Expression;

constexpr char kSource[] = "<r n='3'><a>1</a><a>2</a></r>";

// Top-level declarations of every kind the parameters can meet; the template prints
// each value between brackets.
std::string parameterStylesheet() {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
         " xmlns:q='urn:q' xmlns:q2='urn:q'>"
         "<xsl:output method='text'/>"
         "<xsl:param name='s' select=\"'ds'\"/>"
         "<xsl:param name='b'>db</xsl:param>"
         "<xsl:param name='e'/>"
         "<xsl:param name='q:n' select=\"'dqn'\"/>"
         "<xsl:param name='n' select=\"'dn'\"/>"
         "<xsl:variable name='v' select=\"'dv'\"/>"
         "<xsl:template match='/'>"
         "[<xsl:value-of select='$s'/>][<xsl:value-of select='$b'/>]"
         "[<xsl:value-of select='$e'/>][<xsl:value-of select='$q:n'/>]"
         "[<xsl:value-of select='$n'/>][<xsl:value-of select='$v'/>]"
         "<xsl:call-template name='t'/>"
         "</xsl:template>"
         // A template's own xsl:param of the same name is no top-level parameter.
         "<xsl:template name='t'><xsl:param name='s' select=\"'local'\"/>"
         "[<xsl:value-of select='$s'/>]</xsl:template>"
         "</xsl:stylesheet>";
}

struct ParameterCase {
  std::vector<TestParameter> parameters;
  const char* expected;
};

const ParameterCase kCases[] = {
    {{}, "[ds][db][][dqn][dn][dv][local]"},
    // Strings replace defaults given by select, by a body, or not at all.
    {{{"s", "S"}, {"b", "B"}, {"e", "E"}}, "[S][B][E][dqn][dn][dv][local]"},
    // Both kinds of quote reach the stylesheet unchanged.
    {{{"s", "it's \"quoted\""}}, "[it's \"quoted\"][db][][dqn][dn][dv][local]"},
    {{{"s", ""}}, "[][db][][dqn][dn][dv][local]"},
    // Expressions are evaluated with the source root as context node.
    {{{"s", "count(//a)", kExpression}, {"b", "/r/@n * 2", kExpression}},
     "[2][6][][dqn][dn][dv][local]"},
    {{{"s", "\"it's\"", kExpression}}, "[it's][db][][dqn][dn][dv][local]"},
    // An expression may use the stylesheet's other globals.
    {{{"s", "concat($v, '!')", kExpression}}, "[dv!][db][][dqn][dn][dv][local]"},
    // Unknown names are ignored and variables keep their values.
    {{{"zz", "1"}, {"v", "V"}}, "[ds][db][][dqn][dn][dv][local]"},
    // Prefixes are resolved with the stylesheet's declarations: q:n and q2:n are one
    // name, distinct from the unprefixed n.
    {{{"q:n", "QN"}}, "[ds][db][][QN][dn][dv][local]"},
    {{{"q2:n", "QN"}}, "[ds][db][][QN][dn][dv][local]"},
    {{{"n", "N"}}, "[ds][db][][dqn][N][dv][local]"},
    // The last of one name wins.
    {{{"s", "1"}, {"s", "2"}}, "[2][db][][dqn][dn][dv][local]"},
};

TEST(ParametersTest, ReplaceDefaultsOfTopLevelParamsOnly) {
  for (const ParameterCase& c : kCases) {
    std::string given;
    for (const TestParameter& p : c.parameters)
      given += std::string(p.name) + "=" + p.value + " ";
    EXPECT_EQ(transformOrError(parameterStylesheet(), kSource, c.parameters), c.expected) << given;
  }
}

TEST(ParametersTest, ANodeSetParameterCanBeNavigated) {
  std::string stylesheet =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output method='text'/><xsl:param name='p' select='/..'/>"
      "<xsl:template match='/'><xsl:for-each select='$p'>(<xsl:value-of select='.'/>)"
      "</xsl:for-each></xsl:template></xsl:stylesheet>";
  EXPECT_EQ(transformOrError(stylesheet, kSource, {{"p", "/r/a", kExpression}}), "(1)(2)");
}

const ParameterCase kErrorCases[] = {
    {{{"s", "1 +", kExpression}},
     "ERROR: ovra: error: Parameter s: Missing path expression\n"
     "  1 +\n"
     "     ^"},
    {{{"s", "foo()", kExpression}},
     "ERROR: ovra: error: Parameter s: Unsupported function, foo\n"
     "  foo()\n"
     "  ^"},
    // Failing when evaluated, it is reported where the stylesheet asked for its value.
    {{{"s", "$nothing", kExpression}},
     "ERROR: s.xsl:1: error: Parameter s: Reference to undefined variable, $nothing\n"
     "  $nothing\n"
     "  ^"},
    {{{"zz:s", "1"}}, "ERROR: ovra: error: Parameter zz:s: namespace prefix not declared"},
    // A parameter defined through itself is a circular global.
    {{{"s", "$s", kExpression}}, "ERROR: s.xsl:1: error: Circular reference to global variable s"},
};

TEST(ParametersTest, ErrorsNameTheParameter) {
  for (const ParameterCase& c : kErrorCases)
    EXPECT_EQ(transformOrError(parameterStylesheet(), kSource, c.parameters), c.expected)
        << c.parameters[0].value;
}

TEST(ParametersTest, AnUnusedParameterIsNeverEvaluated) {
  // Like every global, a parameter is evaluated on first use only.
  EXPECT_EQ(transformOrError(parameterStylesheet(), kSource, {{"e2", "$nothing", kExpression}}),
            "[ds][db][][dqn][dn][dv][local]");
}

}  // namespace
}  // namespace ovra
