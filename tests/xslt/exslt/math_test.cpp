#include "tests/xslt/exslt/exslt_test.h"

namespace ovra {
namespace {

constexpr const char* kSource =
    "<r><n>3</n><n>1</n><n>2</n><n>3</n><m>x</m><e/><z>-0</z><z>0</z><i>Infinity</i></r>";

constexpr ExsltCase kMathCases[] = {
    // min and max: NaN for an empty node-set and when any member is not a number.
    {"math:min(//n)", "1"},
    {"math:max(//n)", "3"},
    {"math:min(/..)", "NaN"},
    {"math:max(//n | //m)", "NaN"},
    {"math:min(//e)", "NaN"},
    {"math:min(//i)", "NaN"},
    {"math:max(//z)", "0"},
    {"math:min(r)", "NaN"},
    {"math:max($tree/p)", "2"},
    // highest and lowest: every member at the extreme, in document order; none when a
    // member is not a number.
    {"math:highest(//n)", "<n>3</n><n>3</n>"},
    {"math:lowest(//n)", "<n>1</n>"},
    {"math:lowest(//n | //z)", "<z>-0</z><z>0</z>"},
    {"math:highest(//n | //m)", ""},
    {"math:lowest(/..)", ""},
    // Functions of numbers, arguments converted as by number().
    {"math:abs(-2.5)", "2.5"},
    {"math:abs(-0)", "0"},
    {"math:abs('x')", "NaN"},
    {"math:abs(-1 div 0)", "Infinity"},
    {"math:sqrt(16)", "4"},
    {"math:sqrt(-1)", "NaN"},
    {"math:power(2, 10)", "1024"},
    {"math:power(0, 0)", "1"},
    {"math:power(-8, 1 div 3)", "NaN"},
    {"math:power(2, -1)", "0.5"},
    {"math:power('a', 2)", "NaN"},
    {"math:log(1)", "0"},
    {"math:log(0)", "-Infinity"},
    {"math:log(-1)", "NaN"},
    {"math:exp(0)", "1"},
    {"math:exp(1000)", "Infinity"},
    {"math:exp(-1 div 0)", "0"},
    {"math:sin(0)", "0"},
    {"math:cos(0)", "1"},
    {"math:tan(0)", "0"},
    {"math:asin(1) * 2 = math:constant('PI', 20)", "true"},
    {"math:asin(2)", "NaN"},
    {"math:acos(1)", "0"},
    {"math:atan(1) * 4 = math:constant('PI', 20)", "true"},
    {"math:atan2(1, 0) * 2 = math:constant('PI', 20)", "true"},
    {"math:atan2(0, -1) = math:constant('PI', 20)", "true"},
    {"math:atan2(-0, -1) = -math:constant('PI', 20)", "true"},
    {"math:sin(0 div 0)", "NaN"},
    // constant: the first precision characters of the constant.
    {"math:constant('PI', 4)", "3.14"},
    {"math:constant('PI', 3.7)", "3.1"},
    {"math:constant('PI', 100)", "3.141592653589793"},
    {"math:constant('PI', 1 div 0)", "3.141592653589793"},
    {"math:constant('PI', 0)", "NaN"},
    {"math:constant('PI', -1)", "NaN"},
    {"math:constant('PI', 0 div 0)", "NaN"},
    {"math:constant('E', 10)", "2.71828182"},
    {"math:constant('E', 100)", "2.718281828459045"},
    {"math:constant('SQRRT2', 5)", "1.414"},
    {"math:constant('SQRT2', 5)", "NaN"},
    {"math:constant('LN2', 100)", "0.6931471805599453"},
    {"math:constant('LN10', 100)", "2.302585092994046"},
    {"math:constant('LOG2E', 100)", "1.4426950408889634"},
    {"math:constant('SQRT1_2', 100)", "0.7071067811865476"},
    {"math:constant('pi', 4)", "NaN"},
    // random: in [0, 1), and not the same number every time.
    {"math:random() >= 0 and math:random() < 1", "true"},
    {"math:random() != math:random() or math:random() != math:random()", "true"},
    // Availability and argument checks.
    {"function-available('math:min') and function-available('math:max') and "
     "function-available('math:highest') and function-available('math:lowest') and "
     "function-available('math:abs') and function-available('math:sqrt') and "
     "function-available('math:power') and function-available('math:constant') and "
     "function-available('math:log') and function-available('math:exp') and "
     "function-available('math:sin') and function-available('math:cos') and "
     "function-available('math:tan') and function-available('math:asin') and "
     "function-available('math:acos') and function-available('math:atan') and "
     "function-available('math:atan2') and function-available('math:random')",
     "true"},
    {"math:min(3)",
     "ERROR: s.xsl:1: error: Argument 1 of math:min() must be a node-set, not a number"},
    {"math:highest($rtf)", "ERROR: s.xsl:1: error: Argument 1 of math:highest() must be a "
                           "node-set, not a result tree fragment: convert it with exsl:node-set()"},
    {"math:sqrt()", "ERROR: s.xsl:1: error: Wrong number of arguments to function, math:sqrt\n"
                    "  math:sqrt()\n"
                    "  ^"},
    {"math:random(1)", "ERROR: s.xsl:1: error: Wrong number of arguments to function, math:random\n"
                       "  math:random(1)\n"
                       "  ^"},
};

TEST(ExsltMathTest, Functions) {
  expectExsltCases(kMathCases, kSource);
}

}  // namespace
}  // namespace ovra
