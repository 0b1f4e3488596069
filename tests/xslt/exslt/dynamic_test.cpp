// EXSLT dynamic: strings evaluated as expressions with the call's context, and what a
// string that is no expression gives.
#include "tests/xslt/exslt/exslt_test.h"

namespace ovra {
namespace {

constexpr char kSource[] = "<r><n>3</n><n>4</n><n>5</n><e>n[2]</e><t><c><c/></c><c/></t></r>";

TEST(ExsltDynamicTest, Evaluate) {
  const ExsltCase cases[] = {
      {"dyn:evaluate('1 + 2')", "3"},
      {"dyn:evaluate(concat('r/', 'n'))", "<n>3</n><n>4</n><n>5</n>"},
      // Relative to the call's context node; prefixes and variables of the call's place.
      {"dyn:evaluate(r/e)", ""},
      {"r/*[dyn:evaluate('self::e')]", "<e>n[2]</e>"},
      {"dyn:evaluate(concat('r/', r/e))", "<n>4</n>"},
      {"r/e[dyn:evaluate(concat('../', .)) = 4]", "<e>n[2]</e>"},
      {"dyn:evaluate('count($tree/p) + count(exsl:node-set($rtf))')", "3"},
      {"dyn:evaluate('$rtf')", "<p>1</p><p>2</p>"},
      {"exsl:object-type(dyn:evaluate('$rtf'))", "RTF"},
      // The call's position and size, and current().
      {"r/n[dyn:evaluate('position() = last()')]", "<n>5</n>"},
      {"r/n[dyn:evaluate('. = 4 and name(current()) = \"\"')]", "<n>4</n>"},
      // Not an expression: an empty node-set, with a warning each time it is compiled.
      {"count(dyn:evaluate(')'))",
       "WARNING: dyn:evaluate(): ')' is no expression (Missing path expression); its value is an "
       "empty node-set on line 1 in s.xsl\n0"},
      {"exsl:object-type(dyn:evaluate(''))",
       "WARNING: dyn:evaluate(): '' is no expression (Uncompilable expression); its "
       "value is an empty node-set on line 1 in s.xsl\nnode-set"},
      {"count(dyn:evaluate('no:name'))",
       "WARNING: dyn:evaluate(): 'no:name' is no expression (Undeclared namespace prefix, no); "
       "its value is an empty node-set on line 1 in s.xsl\n0"},
      // Errors of the evaluation are errors.
      {"dyn:evaluate('$undefined')",
       "ERROR: s.xsl:1: error: Reference to undefined variable, $undefined"},
  };
  expectExsltCases(cases, kSource);
}

TEST(ExsltDynamicTest, Map) {
  const ExsltCase cases[] = {
      // Node-sets are joined, in document order without duplicates.
      {"dyn:map(r/n, '..')", "<r><n>3</n><n>4</n><n>5</n><e>n[2]</e><t><c><c/></c><c/></t></r>"},
      {"count(dyn:map(r/n | r/t/c, 'following-sibling::*'))", "5"},
      {"dyn:map(r/n, '.')", "<n>3</n><n>4</n><n>5</n>"},
      // Other values become exsl:number, exsl:boolean and exsl:string elements.
      {"dyn:map(r/n, '. * position()')",
       "<exsl:number xmlns:exsl=\"http://exslt.org/common\">3</exsl:number>"
       "<exsl:number xmlns:exsl=\"http://exslt.org/common\">8</exsl:number>"
       "<exsl:number xmlns:exsl=\"http://exslt.org/common\">15</exsl:number>"},
      {"dyn:map(r/n, '. > 3')",
       "<exsl:boolean xmlns:exsl=\"http://exslt.org/common\"/>"
       "<exsl:boolean xmlns:exsl=\"http://exslt.org/common\">true</exsl:boolean>"
       "<exsl:boolean xmlns:exsl=\"http://exslt.org/common\">true</exsl:boolean>"},
      {"dyn:map(r/n[1], 'concat(., last())')",
       "<exsl:string xmlns:exsl=\"http://exslt.org/common\">31</exsl:string>"},
      // The infinities as the largest finite numbers, which number() reads back.
      {"number(dyn:map(r/n[1], '-1 div 0')) * 2 = -1 div 0 and "
       "number(dyn:map(r/n[1], '-1 div 0')) > -1 div 0",
       "true"},
      {"string(dyn:map(r/n[1], '0 div 0'))", "NaN"},
      // A result tree fragment stands for its root.
      {"dyn:map(r/n[1], '$rtf')", "<p>1</p><p>2</p>"},
      {"count(dyn:map(/nothing, '1'))", "0"},
      {"count(dyn:map(r/n, ')'))",
       "WARNING: dyn:map(): ')' is no expression (Missing path expression); its value is an "
       "empty node-set on line 1 in s.xsl\n0"},
      {"dyn:map('n', '.')",
       "ERROR: s.xsl:1: error: Argument 1 of dyn:map() must be a node-set, not a string"},
  };
  expectExsltCases(cases, kSource);
}

TEST(ExsltDynamicTest, MinMaxSum) {
  const ExsltCase cases[] = {
      {"dyn:min(r/n, '. * 2')", "6"},
      {"dyn:max(r/n, '. * 2')", "10"},
      {"dyn:sum(r/n, '. * 2')", "24"},
      {"dyn:max(r/n, 'position() * 10 + last()')", "33"},
      // A value that is not a number makes the minimum and the maximum NaN.
      {"dyn:min(r/n | r/e, '.')", "NaN"},
      {"dyn:max(r/n | r/e, '.')", "NaN"},
      {"dyn:sum(r/n | r/e, '.')", "NaN"},
      {"dyn:min(/nothing, '.')", "NaN"},
      {"dyn:sum(/nothing, '.')", "0"},
      {"dyn:sum(r/n, ')')",
       "WARNING: dyn:sum(): ')' is no expression (Missing path expression); its value is NaN"
       " on line 1 in s.xsl\nNaN"},
  };
  expectExsltCases(cases, kSource);
}

TEST(ExsltDynamicTest, Closure) {
  const ExsltCase cases[] = {
      // Every node found on the way, the starting nodes only when found again.
      {"count(dyn:closure(r/t, 'c'))", "3"},
      {"count(dyn:closure(r/t/c/c, '..'))", "4"},
      {"count(dyn:closure(r/t, '.'))", "1"},
      {"count(dyn:closure(r/n[1], 'following-sibling::n[1]'))", "2"},
      {"count(dyn:closure(/nothing, '..'))", "0"},
      {"count(dyn:closure(r/t, '1'))",
       "WARNING: dyn:closure() was given an expression that does not give a node-set, '1' on "
       "line 1 in s.xsl\n0"},
      // An expression that makes new nodes each time never ends.
      {"count(dyn:closure(r/t, 'exsl:node-set(1)'))",
       "ERROR: s.xsl:1: error: dyn:closure() does not end: its expression keeps making new nodes"},
  };
  expectExsltCases(cases, kSource);
}

}  // namespace
}  // namespace ovra
