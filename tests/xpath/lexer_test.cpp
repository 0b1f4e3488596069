#include "xpath/lexer.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

// The queue as "kind=text@position" words, without the final end token; "kind@position"
// for tokens without text. Fails the test unless exactly one end token closes the queue.
std::string tokensOf(const TokenQueue& queue) {
  std::string out;
  for (std::size_t i = 0; i + 1 < queue.size(); ++i) {
    const Token& token = queue[i];
    EXPECT_NE(token.kind, TokenKind::End);
    if (!out.empty())
      out += ' ';
    out += std::to_string(int(token.kind));
    if (token.text != nullptr)
      out += '=' + std::string(token.text, token.length);
    out += '@' + std::to_string(token.position);
  }
  EXPECT_TRUE(!queue.empty() && queue[queue.size() - 1].kind == TokenKind::End);
  return out;
}

struct LexCase {
  const char* expression;
  const char* tokens;
};

constexpr LexCase kLexCases[] = {
    {"a-b", "39=a-b@0"},  // the hyphen is a name character
    {"a - b", "39=a@0 10=-@2 39=b@4"},
    {"-1", "10=-@0 41=1@1"},
    {"2*3", "41=2@0 7@1 41=3@2"},
    {"* * *", "39=*@0 7@2 39=*@4"},
    {"child::*", "47@0 29=::@5 39=*@7"},
    {"child :: x", "47@0 29=::@6 39=x@9"},
    {"@*", "27=@@0 39=*@1"},
    {"div div div", "39=div@0 8@4 39=div@8"},  // the third follows an operator: a name
    {"and", "39=and@0"},                       // the first token never changes
    {"a and(b)", "39=a@0 18@2 21=(@5 39=b@6 22=)@7"},
    {"a  or  b", "39=a@0 19@3 39=b@7"},  // whitespace is not counted
    {"text()", "32@0 21=(@4 22=)@5"},
    {"comment ()", "31@0 21=(@8 22=)@9"},
    {"processing-instruction('x')", "33@0 21=(@22 40=x@23 22=)@26"},
    {"foo()", "42=foo@0 21=(@3 22=)@4"},
    {"ns:foo()", "42=ns:foo@0 21=(@6 22=)@7"},
    {"foo::bar", "39=foo@0 29=::@3 39=bar@5"},  // not an axis: stays a name
    {"ns:*", "39=ns:*@0"},
    {"ns:a/b", "39=ns:a@0 3=/@4 39=b@5"},
    {"1.5", "41=1.5@0"},
    {"1.", "41=1.@0"},
    {".5", "41=.5@0"},
    {"...", "24=..@0 23=.@2"},
    {"1.2.3", "41=1.2@0 41=.3@3"},
    {"'it''s'", "40=it@0 40=s@4"},  // no doubled-quote escape
    {"\"a'b\"", "40=a'b@0"},
    {"''", "40=@0"},
    {"$ns:v", "38=ns:v@0"},
    {"$v[1]", "38=v@0 25=[@2 41=1@3 26=]@4"},
    {"a!=b", "39=a@0 17=!=@1 39=b@3"},
    {"a<=b>=c<d>e", "39=a@0 13=<=@1 39=b@3 15=>=@4 39=c@6 12=<@7 39=d@8 14=>@9 39=e@10"},
    {"//a|b", "4=//@0 39=a@2 6=|@3 39=b@4"},
    {"f(a,b)", "42=f@0 21=(@1 39=a@2 28=,@3 39=b@4 22=)@5"},
    {"../@x", "24=..@0 3=/@2 27=@@3 39=x@4"},
    {"\t\r\n a \n", "39=a@4"},
    {"", ""},
    {"   ", ""},
    // Bytes from 128 up are letters: UTF-8 names are whole tokens.
    {"\xce\xb1\xce\xb2/caf\xc3\xa9", "39=\xce\xb1\xce\xb2@0 3=/@4 39=caf\xc3\xa9@5"},
};

TEST(LexerTest, TokenKindsTextsAndPositions) {
  for (const LexCase& c : kLexCases) {
    TokenQueue queue;
    std::string text = c.expression;
    const char* stop = tokenize(text.c_str(), queue);
    EXPECT_EQ(stop, text.c_str() + text.size()) << c.expression;
    EXPECT_EQ(tokensOf(queue), c.tokens) << c.expression;
  }
}

struct StopCase {
  const char* expression;
  std::size_t stop;    // offset of the first character not consumed
  const char* tokens;  // what was queued before it
};

constexpr StopCase kStopCases[] = {
    {"a = #", 4, "39=a@0 16==@2"},
    {"!", 0, ""},
    {"a !", 2, "39=a@0"},
    {"'abc", 0, ""},
    {"a = \"abc", 4, "39=a@0 16==@2"},
    {"$", 0, ""},
    {"$ v", 0, ""},
    {"$1", 0, ""},
    {"a:b:c", 3, "39=a:b@0"},
    {"ns:1", 2, "39=ns@0"},
    {"a\x01", 1, "39=a@0"},
};

TEST(LexerTest, StopsAtTheFirstTextNoRecogniserAccepts) {
  for (const StopCase& c : kStopCases) {
    TokenQueue queue;
    std::string text = c.expression;
    const char* stop = tokenize(text.c_str(), queue);
    EXPECT_EQ(std::size_t(stop - text.c_str()), c.stop) << c.expression;
    EXPECT_EQ(tokensOf(queue), c.tokens) << c.expression;
  }
}

TEST(LexerTest, KeywordTablesMatchWholeCaseSensitiveText) {
  EXPECT_EQ(axisTable().find("descendant-or-self"), TokenKind::AxisDescendantOrSelf);
  EXPECT_EQ(axisTable().find("self"), TokenKind::AxisSelf);
  EXPECT_EQ(axisTable().find("Self"), TokenKind::None);
  EXPECT_EQ(axisTable().find("sel"), TokenKind::None);
  EXPECT_EQ(operatorTable().find("div"), TokenKind::Div);
  EXPECT_EQ(operatorTable().find("divx"), TokenKind::None);
  EXPECT_EQ(operatorTable().find("!"), TokenKind::None);
  EXPECT_EQ(punctuationTable().find("::"), TokenKind::DoubleColon);
  EXPECT_EQ(nodeTypeTable().find("processing-instruction"),
            TokenKind::NodeTypeProcessingInstruction);
  EXPECT_EQ(axisTable().size(), 13u);
  EXPECT_EQ(operatorTable().size(), 16u);
  // Doubling whenever the entries would exceed half the buckets.
  EXPECT_GE(axisTable().bucketCount(), 2 * axisTable().size());
}

TEST(LexerTest, LongTokensAreTakenWhole) {
  const std::size_t n = 100000;
  struct {
    std::string text;
    TokenKind kind;
    std::size_t textLength;
  } cases[] = {
      {std::string(n, 'a'), TokenKind::NameTest, n},
      {"p:" + std::string(n, 'b'), TokenKind::NameTest, n + 2},
      {"$p:" + std::string(n, 'c'), TokenKind::VariableReference, n + 2},
      {std::string(n, '7') + "." + std::string(n, '7'), TokenKind::Number, 2 * n + 1},
      {"'" + std::string(n, ' ') + "'", TokenKind::Literal, n},
  };
  for (const auto& c : cases) {
    TokenQueue queue;
    EXPECT_EQ(*tokenize(c.text.c_str(), queue), '\0');
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].kind, c.kind);
    EXPECT_EQ(std::size_t(queue[0].length), c.textLength);
  }
  // An unterminated literal before a long tail is still found where it starts.
  std::string unterminated = "a = '" + std::string(n, 'x');
  TokenQueue queue;
  EXPECT_EQ(tokenize(unterminated.c_str(), queue), unterminated.c_str() + 4);
}

TEST(LexerTest, QueueRewindsToAMarkAndTakesTokensBack) {
  TokenQueue queue;
  tokenize("a/b", queue);
  std::size_t mark = queue.mark();
  Token a = queue.pop();
  queue.pop();
  EXPECT_EQ(queue.size(), 2u);
  queue.rewind(mark);
  EXPECT_EQ(queue.front().kind, TokenKind::NameTest);
  queue.pop();
  queue.pushFront(a);
  EXPECT_EQ(queue.size(), 4u);
  while (!queue.empty())
    queue.pop();
  EXPECT_EQ(queue.front().kind, TokenKind::End);
  EXPECT_EQ(queue.pop().kind, TokenKind::End);
}

}  // namespace
}  // namespace ovra
