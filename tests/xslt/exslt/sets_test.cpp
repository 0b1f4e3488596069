#include "tests/xslt/exslt/exslt_test.h"

namespace ovra {
namespace {

constexpr const char* kSource = "<r><a>x</a><a>y</a><a>x</a><b>y</b><c/></r>";

constexpr ExsltCase kSetCases[] = {
    // difference and intersection keep document order and the first argument's nodes.
    {"set:difference(//a, //a[2])", "<a>x</a><a>x</a>"},
    {"set:difference(//*, //a)", "<r><a>x</a><a>y</a><a>x</a><b>y</b><c/></r><b>y</b><c/>"},
    {"set:difference(//a, /..)", "<a>x</a><a>y</a><a>x</a>"},
    {"set:difference(/.., //a)", ""},
    {"set:intersection(//a, //*[position() > 2])", "<a>x</a>"},
    {"set:intersection(//a | //b, //b | //c)", "<b>y</b>"},
    {"set:intersection(//a, /..)", ""},
    {"count(set:intersection(//node(), //text()))", "4"},
    {"count(set:intersection(//@* | //*, //*))", "6"},
    // distinct: the first node in document order of each string value.
    {"set:distinct(//a)", "<a>x</a><a>y</a>"},
    {"set:distinct(//*)", "<r><a>x</a><a>y</a><a>x</a><b>y</b><c/></r><a>x</a><a>y</a><c/>"},
    {"count(set:distinct(//a/text()))", "2"},
    {"set:distinct(/..)", ""},
    {"set:distinct($tree/p | $tree/p)", "<p>1</p><p>2</p>"},
    // has-same-node.
    {"set:has-same-node(//a, //a[3])", "true"},
    {"set:has-same-node(//a, //b)", "false"},
    {"set:has-same-node(/.., /..)", "false"},
    {"set:has-same-node(/, /)", "true"},
    {"set:has-same-node(//c, //node())", "true"},
    // leading and trailing: before or after the second set's first node; all of the
    // first set when the second is empty, nothing when the first lacks that node.
    {"set:leading(//*, //b)",
     "<r><a>x</a><a>y</a><a>x</a><b>y</b><c/></r><a>x</a><a>y</a><a>x</a>"},
    {"set:leading(//a, //a[2] | //c)", "<a>x</a>"},
    {"set:leading(//a, //b)", ""},
    {"set:leading(//a, /..)", "<a>x</a><a>y</a><a>x</a>"},
    {"set:leading(//a, //a[1])", ""},
    {"set:trailing(//*, //a[2])", "<a>x</a><b>y</b><c/>"},
    {"set:trailing(//a, //r | //a[2])", ""},
    {"set:trailing(//a, //a[3])", ""},
    {"set:trailing(//a, /..)", "<a>x</a><a>y</a><a>x</a>"},
    // Any prefix bound to the namespace; function-available() knows each.
    {"s2:distinct(//b)", "<b>y</b>"},
    {"function-available('set:difference') and function-available('set:distinct') and "
     "function-available('set:has-same-node') and function-available('s2:intersection') and "
     "function-available('set:leading') and function-available('set:trailing')",
     "true"},
    {"function-available('set:union')", "false"},
    // Arguments that are not node-sets.
    {"set:distinct('a')",
     "ERROR: s.xsl:1: error: Argument 1 of set:distinct() must be a node-set, not a string"},
    {"set:difference(//a, 1)",
     "ERROR: s.xsl:1: error: Argument 2 of set:difference() must be a node-set, not a number"},
    {"set:has-same-node(true(), //a)",
     "ERROR: s.xsl:1: error: Argument 1 of set:has-same-node() must be a node-set, not a boolean"},
    {"set:leading($rtf, //a)",
     "ERROR: s.xsl:1: error: Argument 1 of set:leading() must be a node-set, not a result tree "
     "fragment: convert it with exsl:node-set()"},
    {"set:trailing(//a)",
     "ERROR: s.xsl:1: error: Wrong number of arguments to function, set:trailing\n"
     "  set:trailing(//a)\n"
     "  ^"},
};

TEST(ExsltSetsTest, Functions) {
  expectExsltCases(kSetCases, kSource);
}

}  // namespace
}  // namespace ovra
