// EXSLT strings.
#include "tests/support/test_transform.h"
#include "tests/xslt/exslt/exslt_test.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct Case {
  const char* expression;  // as valueOfExpression() runs it
  const char* expected;
};

constexpr Case kPaddingCases[] = {
    {"concat('[', str:padding(3), ']')", "[   ]"},
    {"str:padding(5, 'ab')", "ababa"},
    {"str:padding(2, 'xyz')", "xy"},
    // The length is truncated, in characters, not bytes.
    {"str:padding(3.7, 'ab')", "aba"},
    {"str:padding(0.5, 'ab')", ""},
    {"str:padding(3, '\xC3\xA9\xC3\xBC')", "\xC3\xA9\xC3\xBC\xC3\xA9"},
    // Nothing for no length, and for an empty pad (xsltproc pads with spaces instead).
    {"str:padding(0, 'ab')", ""},
    {"str:padding(-1, 'ab')", ""},
    {"str:padding(0 div 0, 'ab')", ""},
    {"str:padding(5, '')", ""},
    {"str:padding('2', 7)", "77"},
    {"str:padding(1 div 0)",
     "ERROR: s.xsl:1: error: str:padding() asked for a string too long to build"},
};

TEST(ExsltStringsTest, Padding) {
  for (const Case& c : kPaddingCases)
    EXPECT_EQ(valueOfExpression(c.expression), c.expected) << c.expression;
}

constexpr const char* kSource =
    "<r a='A'><s>a</s><s>b</s><x>1</x><x>2</x><y>Y</y><t>x,y</t><c><!--c--></c></r>";

constexpr ExsltCase kStringCases[] = {
    // tokenize: any delimiter character ends a token (white space by default); no empty
    // tokens; empty delimiters make each character a token.
    {"str:tokenize('a b\tc\n\nd')",
     "<token>a</token><token>b</token><token>c</token><token>d</token>"},
    {"str:tokenize(' a,b ;c ', ',;')", "<token> a</token><token>b </token><token>c </token>"},
    {"str:tokenize('a,,b,', ',')", "<token>a</token><token>b</token>"},
    {"str:tokenize('abc', '')", "<token>a</token><token>b</token><token>c</token>"},
    {"str:tokenize('añb', 'ñ')", "<token>a</token><token>b</token>"},
    {"str:tokenize('añb', '')", "<token>a</token><token>ñ</token><token>b</token>"},
    {"str:tokenize('')", ""},
    {"str:tokenize('  ')", ""},
    {"str:tokenize(//t, ',')", "<token>x</token><token>y</token>"},
    {"str:tokenize(1.5, '.')", "<token>1</token><token>5</token>"},
    // The tokens of one call are siblings in a tree of their own, in order.
    {"str:tokenize('a b c')[2]", "<token>b</token>"},
    {"count(str:tokenize('a b')/..)", "1"},
    {"str:tokenize('a b c')[1]/following-sibling::*[1]", "<token>b</token>"},
    {"str:tokenize('a b') | str:tokenize('c')", "<token>a</token><token>b</token><token>c</token>"},
    {"string(str:tokenize('x y'))", "x"},
    // split: at each occurrence of the pattern (a space by default); no empty tokens; an
    // empty pattern makes each character a token.
    {"str:split('a, simple, list', ', ')",
     "<token>a</token><token>simple</token><token>list</token>"},
    {"str:split(' a  b ')", "<token>a</token><token>b</token>"},
    {"str:split('a,,b,', ',')", "<token>a</token><token>b</token>"},
    {"str:split('aaa', 'aa')", "<token>a</token>"},
    {"str:split('abc', '')", "<token>a</token><token>b</token><token>c</token>"},
    {"str:split('añb', '')", "<token>a</token><token>ñ</token><token>b</token>"},
    {"str:split('', ',')", ""},
    {"str:split('abc', 'abc')", ""},
    // replace: strings in, one text out; the longest search string first; search strings
    // without a replacement node are removed; an empty one stands between characters.
    {"str:replace('abcabc', 'b', 'X')", "aXcaXc"},
    {"count(str:replace('abcabc', 'b', 'X'))", "1"},
    {"string(str:replace('abcabc', 'bc', ''))", "aa"},
    {"str:replace('aaa', 'aa', 'b')", "ba"},
    {"str:replace('abc', '', 'X')", "aXbXc"},
    {"str:replace('abc', 'z', 'X')", "abc"},
    {"str:replace('abc', 1, 2)", "abc"},
    {"str:replace('a1b', 1, 2)", "a2b"},
    {"str:replace('', 'a', 'x')", ""},
    {"count(str:replace('abc', 'abc', ''))", "0"},
    {"str:replace('abcd', //s | //y, 'Q')", "Qcd"},
    {"str:replace('abc', str:tokenize('b,ab', ','), 'X')", "c"},
    {"str:replace('abab', str:tokenize('b,ab', ','), 'X')", ""},
    {"str:replace('abab', str:tokenize('b,ab', ','), str:tokenize('1,2', ','))",
     "<token>2</token><token>2</token>"},
    {"str:replace('aXb', 'X', $rtf)", "a12b"},
    {"str:replace('añb', 'ñ', 'ü')", "aüb"},
    // Replacement nodes are copied into the result; text joins the text around it;
    // attributes count as empty text, as EXSLT allows.
    {"str:replace('abc', //s, //x)", "<x>1</x><x>2</x>c"},
    {"str:replace('abcab', //s, //y)", "<y>Y</y>c<y>Y</y>"},
    {"str:replace('a b', ' ', $tree/p)", "a<p>1</p>b"},
    {"str:replace('a b', ' ', $tree)", "a<p>1</p><p>2</p>b"},
    {"str:replace('a b', ' ', //x/text())", "a1b"},
    {"count(str:replace('a b', ' ', //x/text()))", "1"},
    {"str:replace('a b', ' ', //c/comment())", "a<!--c-->b"},
    {"str:replace('ab', 'a', //@a)", "b"},
    {"str:replace('ab', //s, /..)", ""},
    // align works on characters.
    {"str:align('abc', '-----')", "abc--"},
    {"str:align('abc', '-----', 'left')", "abc--"},
    {"str:align('abc', '-----', 'right')", "--abc"},
    {"str:align('abc', '-----', 'center')", "-abc-"},
    {"str:align('abc', '------', 'center')", "-abc--"},
    {"str:align('ab', '----', 'bogus')", "ab--"},
    {"str:align('abcdefg', '---', 'right')", "abc"},
    {"str:align('abcdefg', '---', 'center')", "abc"},
    {"str:align('', '---')", "---"},
    {"str:align('ñ', 'àèìòù', 'center')", "àèñòù"},
    {"str:align('ñé', 'àè', 'right')", "ñé"},
    // concat: the string values of the nodes.
    {"str:concat(//s)", "ab"},
    {"str:concat(//s | //t)", "abx,y"},
    {"str:concat(/..)", ""},
    {"str:concat('x')",
     "ERROR: s.xsl:1: error: Argument 1 of str:concat() must be a node-set, not a string"},
    // encode-uri: letters, digits and marks stay, reserved characters too unless asked to
    // escape them, a % before two hex digits stays; bytes of UTF-8 (or the encoding
    // named) in upper-case hex.
    {"str:encode-uri('a b/c?d=é#g', true())", "a%20b%2Fc%3Fd%3D%C3%A9%23g"},
    {"str:encode-uri('a b/c?d=é#g', false())", "a%20b/c?d=%C3%A9%23g"},
    {"str:encode-uri(\"-_.!~*'()\", true())", "-_.!~*'()"},
    {"str:encode-uri(';/?:@&amp;=+$,[]', false())", ";/?:@&amp;=+$,[]"},
    {"str:encode-uri(';/?:@&amp;=+$,[]', true())", "%3B%2F%3F%3A%40%26%3D%2B%24%2C%5B%5D"},
    {"str:encode-uri('&lt;&gt;\"{}|\\^`', false())", "%3C%3E%22%7B%7D%7C%5C%5E%60"},
    {"str:encode-uri('%41 %zz %4', true())", "%41%20%25zz%20%254"},
    {"str:encode-uri('&#x10000;', true())", "%F0%90%80%80"},
    {"str:encode-uri('é', true(), 'utf-8')", "%C3%A9"},
    {"str:encode-uri('é€', true(), 'ISO-8859-1')", "%E9%3F"},
    {"str:encode-uri('é', true(), 'latin1')", "%E9"},
    {"str:encode-uri('é', true(), 'US-ASCII')", "%3F"},
    {"str:encode-uri('', true())", ""},
    {"str:encode-uri('é', true(), 'bogus')",
     "ERROR: s.xsl:1: error: Unsupported encoding for str:encode-uri(), bogus"},
    // decode-uri: escapes to bytes, runs of bytes to characters; what is not UTF-8, or
    // not allowed in XML, becomes U+FFFD.
    {"str:decode-uri('a%20b%2Fc')", "a b/c"},
    {"str:decode-uri('%C3%A9%c3%a9')", "éé"},
    {"str:decode-uri('%41%42é%43')", "ABéC"},
    {"str:decode-uri('%F0%90%80%80')", "\xF0\x90\x80\x80"},
    {"str:decode-uri('%zz%4%')", "%zz%4%"},
    {"str:decode-uri('a+b')", "a+b"},
    {"str:decode-uri('%E9')", "\xEF\xBF\xBD"},
    {"str:decode-uri('%C3x')", "\xEF\xBF\xBDx"},
    {"str:decode-uri('%00%01')", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"str:decode-uri('%E9', 'iso-8859-1')", "é"},
    {"str:decode-uri('%E9', 'ascii')", "\xEF\xBF\xBD"},
    {"str:decode-uri('%E9', 'x-bogus')",
     "ERROR: s.xsl:1: error: Unsupported encoding for str:decode-uri(), x-bogus"},
    {"function-available('str:tokenize') and function-available('str:split') and "
     "function-available('str:replace') and function-available('str:padding') and "
     "function-available('str:align') and function-available('str:concat') and "
     "function-available('str:encode-uri') and function-available('str:decode-uri')",
     "true"},
    {"str:replace('a', 'b')",
     "ERROR: s.xsl:1: error: Wrong number of arguments to function, str:replace\n"
     "  str:replace('a', 'b')\n"
     "  ^"},
};

TEST(ExsltStringsTest, Functions) {
  expectExsltCases(kStringCases, kSource);
}

}  // namespace
}  // namespace ovra
