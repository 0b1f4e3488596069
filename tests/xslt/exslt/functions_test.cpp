// EXSLT functions: func:function declarations called from expressions, and the errors
// EXSLT names for func:result.
#include "tests/xslt/exslt/exslt_test.h"

namespace ovra {
namespace {

constexpr char kSource[] = "<r><a>1</a><b>2</b><a>3</a></r>";

// Functions every case may call.
constexpr char kFunctions[] =
    "<func:function name='my:add'><xsl:param name='a'/><xsl:param name='b' select='10'/>"
    "<func:result select='$a + $b'/></func:function>"
    "<func:function name='my:fact'><xsl:param name='n'/><xsl:choose>"
    "<xsl:when test='$n &lt;= 1'><func:result select='1'/></xsl:when>"
    "<xsl:otherwise><func:result select='$n * my:fact($n - 1)'/></xsl:otherwise>"
    "</xsl:choose></func:function>"
    "<func:function name='my:tree'><func:result><x>1</x><y>2</y></func:result></func:function>"
    "<func:function name='my:none'><xsl:variable name='v' select='1'/></func:function>"
    "<func:function name='my:kids'><xsl:param name='of'/><func:result select='$of/*'/>"
    "</func:function>"
    "<func:function name='my:here'><func:result select='concat(name(), position(), last())'/>"
    "</func:function>"
    "<func:function name='my:first'><xsl:for-each select='/r/*[1]'>"
    "<func:result select='name()'/></xsl:for-each></func:function>"
    "<func:function name='my:global'><func:result select='count(exsl:node-set($rtf)/p)'/>"
    "</func:function>"
    "<func:function name='my:endless'><func:result select='my:endless()'/></func:function>"
    "<func:function name='my:twice'><xsl:if test='1'><func:result select='1'/></xsl:if>"
    "<xsl:if test='1'><func:result select='2'/></xsl:if></func:function>"
    "<func:function name='my:writes'><xsl:value-of select='1'/></func:function>"
    "<func:function name='my:attribute'><xsl:attribute name='a'>1</xsl:attribute>"
    "</func:function>";

struct FunctionCase {
  const char* declarations;  // beside kFunctions
  const char* expression;    // in xsl:copy-of at the root
  const char* expected;      // as ExsltCase has it
};

std::string functionStylesheet(const FunctionCase& c) {
  return std::string(
             "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
             "xmlns:func='http://exslt.org/functions' xmlns:exsl='http://exslt.org/common' "
             "xmlns:my='urn:my' xmlns:m2='urn:my' extension-element-prefixes='func' "
             "exclude-result-prefixes='exsl my m2'>"
             "<xsl:output method='xml' omit-xml-declaration='yes'/>"
             "<xsl:variable name='rtf'><p>1</p><p>2</p></xsl:variable>") +
         kFunctions + c.declarations + "<xsl:template match='/'><xsl:copy-of select=\"" +
         c.expression + "\"/></xsl:template></xsl:stylesheet>";
}

void expectFunctionCases(std::span<const FunctionCase> cases) {
  for (const FunctionCase& c : cases) {
    std::string result = transformOrError(functionStylesheet(c), kSource);
    // Every error here is on the stylesheet's one line.
    constexpr std::string_view kWhere = "s.xsl:1: error: ";
    if (result.starts_with("ERROR: ") && result.substr(7).starts_with(kWhere))
      result.erase(7, kWhere.size());
    EXPECT_EQ(result, c.expected) << c.declarations << c.expression;
  }
}

TEST(ExsltFunctionsTest, Calls) {
  const FunctionCase cases[] = {
      {"", "my:add(1, 2)", "3"},
      // Parameters not passed take their defaults; any prefix of the namespace calls.
      {"", "m2:add(1)", "11"},
      {"", "my:fact(10)", "3628800"},
      // A result's content is a result tree fragment; no result is the empty string.
      {"", "my:tree()", "<x>1</x><y>2</y>"},
      {"", "concat(my:tree(), '|', my:none(), '|', string-length(my:none()))", "12||0"},
      {"", "exsl:object-type(my:none())", "string"},
      // Node-sets pass in and out as they are.
      {"", "my:kids(/r)[2]", "<b>2</b>"},
      {"", "count(my:kids(my:kids(/)))", "3"},
      {"", "my:kids(/r)/self::a", "<a>1</a><a>3</a>"},
      // The body runs at the call's context, and sees the globals only.
      {"", "/r/*[my:here() = 'b23']", "<b>2</b>"},
      {"", "my:first()", "a"},
      {"", "my:global()", "2"},
      {"", "concat(function-available('my:add'), function-available('m2:fact'), "
           "function-available('my:nope'))",
       "truetruefalse"},
      {"", "concat(element-available('func:function'), element-available('func:result'))",
       "truetrue"},
      // A later declaration of higher import precedence would win; one of the same is an
      // error (below).
  };
  expectFunctionCases(cases);
}

TEST(ExsltFunctionsTest, Errors) {
  const FunctionCase cases[] = {
      {"", "my:add(1, 2, 3)",
       "ERROR: my:add() is given 3 arguments, more than the 2 parameters of its func:function"},
      {"", "my:nope()", "ERROR: Unsupported function, my:nope"},
      {"", "my:endless()", "ERROR: Template recursion too deep"},
      {"", "my:twice()", "ERROR: func:result is evaluated a second time in one function call"},
      {"", "my:writes()",
       "ERROR: func:function my:writes writes to the result tree: a function gives its value "
       "by func:result only"},
      {"", "my:attribute()",
       "ERROR: func:function my:attribute writes to the result tree: a function gives its "
       "value by func:result only"},
      // Errors of the stylesheet, whether the function is called or not.
      {"<func:function name='my:add'><func:result select='0'/></func:function>", "1",
       "ERROR: func:function my:add is defined twice with the same import precedence"},
      {"<func:function name='f'><func:result select='0'/></func:function>", "1",
       "ERROR: The name of a func:function must have a prefix bound to a namespace, not 'f'"},
      {"<func:function><func:result select='0'/></func:function>", "1",
       "ERROR: A name attribute must be provided for a func:function"},
      {"<func:function name='my:f'><func:result select='0'/><xsl:variable name='v'/>"
       "</func:function>",
       "1", "ERROR: Only xsl:fallback may follow a func:result"},
      {"<func:function name='my:f'><func:result select='0'/><xsl:fallback/></func:function>",
       "my:f()", "0"},
      {"<func:function name='my:f'><xsl:variable name='v'><func:result select='0'/>"
       "</xsl:variable></func:function>",
       "1", "ERROR: func:result is not allowed inside a variable, parameter or other func:result"},
      {"<func:function name='my:f'><func:result select='0'>1</func:result></func:function>", "1",
       "ERROR: func:result has both a select attribute and content"},
      {"<xsl:template name='t'><func:result select='0'/></xsl:template>", "1",
       "ERROR: func:result stands outside any func:function"},
      {"<func:function name='my:f'><xsl:variable name='v'/><xsl:param name='p'/>"
       "<func:result select='0'/></func:function>",
       "1", "ERROR: param elements must come first in a template"},
  };
  expectFunctionCases(cases);
}

}  // namespace
}  // namespace ovra
