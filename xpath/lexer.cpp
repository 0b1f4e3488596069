#include "xpath/lexer.h"

#include "base/string.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace ovra {

// ---- Keyword tables ----

namespace {

constexpr std::size_t kInitialKeywordBuckets = 8;

}  // namespace

KeywordTable::KeywordTable(std::initializer_list<std::pair<std::string_view, TokenKind>> entries)
    : buckets_(kInitialKeywordBuckets) {
  for (const auto& [key, kind] : entries)
    insert(key, kind);
}

void KeywordTable::insert(std::string_view key, TokenKind kind) {
  if (count_ + 1 > buckets_.size() / 2)
    grow();
  std::uint32_t h = hashText(key);
  buckets_[h % buckets_.size()].push_back(Entry{key, kind, h});
  ++count_;
  longestKey_ = std::max(longestKey_, key.size());
  if (!key.empty()) {
    auto first = static_cast<unsigned char>(key[0]);
    firstBytes_[first / 64] |= std::uint64_t{1} << (first % 64);
  }
}

void KeywordTable::grow() {
  std::vector<std::vector<Entry>> grown(buckets_.size() * 2);
  for (const auto& bucket : buckets_)
    for (const Entry& entry : bucket)
      grown[entry.hash % grown.size()].push_back(entry);
  buckets_ = std::move(grown);
}

TokenKind KeywordTable::find(std::string_view text) const {
  if (text.size() > longestKey_ || text.empty())
    return TokenKind::None;
  auto first = static_cast<unsigned char>(text[0]);
  if (!(firstBytes_[first / 64] >> (first % 64) & 1))
    return TokenKind::None;
  std::uint32_t h = hashText(text);
  for (const Entry& entry : buckets_[h % buckets_.size()]) {
    if (entry.hash == h && entry.key == text)
      return entry.kind;
  }
  return TokenKind::None;
}

const KeywordTable& operatorTable() {
  static const KeywordTable table{
      {"/", TokenKind::Slash},   {"//", TokenKind::DoubleSlash},
      {"|", TokenKind::Union},   {"*", TokenKind::Multiply},
      {"-", TokenKind::Minus},   {"+", TokenKind::Plus},
      {"div", TokenKind::Div},   {"mod", TokenKind::Mod},
      {"<", TokenKind::Less},    {"<=", TokenKind::LessOrEqual},
      {">", TokenKind::Greater}, {">=", TokenKind::GreaterOrEqual},
      {"=", TokenKind::Equal},   {"!=", TokenKind::NotEqual},
      {"and", TokenKind::And},   {"or", TokenKind::Or},
  };
  return table;
}

const KeywordTable& punctuationTable() {
  static const KeywordTable table{
      {"(", TokenKind::LeftParen}, {")", TokenKind::RightParen},  {".", TokenKind::Dot},
      {"..", TokenKind::DotDot},   {"[", TokenKind::LeftBracket}, {"]", TokenKind::RightBracket},
      {"@", TokenKind::At},        {",", TokenKind::Comma},       {"::", TokenKind::DoubleColon},
  };
  return table;
}

const KeywordTable& nodeTypeTable() {
  static const KeywordTable table{
      {"comment", TokenKind::NodeTypeComment},
      {"text", TokenKind::NodeTypeText},
      {"processing-instruction", TokenKind::NodeTypeProcessingInstruction},
      {"node", TokenKind::NodeTypeNode},
  };
  return table;
}

const KeywordTable& axisTable() {
  static const KeywordTable table{
      {"ancestor", TokenKind::AxisAncestor},
      {"ancestor-or-self", TokenKind::AxisAncestorOrSelf},
      {"attribute", TokenKind::AxisAttribute},
      {"child", TokenKind::AxisChild},
      {"descendant", TokenKind::AxisDescendant},
      {"descendant-or-self", TokenKind::AxisDescendantOrSelf},
      {"following", TokenKind::AxisFollowing},
      {"following-sibling", TokenKind::AxisFollowingSibling},
      {"namespace", TokenKind::AxisNamespace},
      {"parent", TokenKind::AxisParent},
      {"preceding", TokenKind::AxisPreceding},
      {"preceding-sibling", TokenKind::AxisPrecedingSibling},
      {"self", TokenKind::AxisSelf},
  };
  return table;
}

// ---- Token queue ----

const Token& TokenQueue::front() const {
  static const Token end{TokenKind::End, nullptr, 0, 0};
  return empty() ? end : tokens_[head_];
}

Token TokenQueue::pop() {
  if (empty())
    return front();
  return tokens_[head_++];
}

void TokenQueue::pushFront(const Token& token) {
  if (head_ > 0)
    tokens_[--head_] = token;
  else
    tokens_.insert(tokens_.begin(), token);
}

void TokenQueue::clear() {
  tokens_.clear();
  head_ = 0;
}

// ---- Character classes ----

namespace {

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Bytes from 128 up belong to UTF-8 sequences; taking them as letters lets names written
// in other scripts (Greek, accented Latin) be queried.
bool isNameStart(char c) {
  unsigned char b = static_cast<unsigned char>(c);
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b == '_' || b >= 128;
}

bool isNameChar(char c) {
  return isNameStart(c) || isDigit(c) || c == '.' || c == '-';
}

const char* skipWhitespace(const char* p) {
  while (isWhitespace(*p))
    ++p;
  return p;
}

// The first character is looked at even for length 0: a candidate that ends in the colon
// of a QName is accepted while the name after the colon is still to come.
bool isNCName(const char* s, std::size_t length) {
  if (!isNameStart(s[0]))
    return false;
  for (std::size_t i = 1; i < length; ++i) {
    if (!isNameChar(s[i]))
      return false;
  }
  return true;
}

bool isQName(const char* s, std::size_t length) {
  // Both forms begin with a name start; checking it first keeps hopeless candidates cheap.
  if (!isNameStart(s[0]))
    return false;
  const void* colon = std::memchr(s, ':', length);
  if (colon == nullptr)
    return isNCName(s, length);
  std::size_t prefixLength = static_cast<const char*>(colon) - s;
  return isNCName(s, prefixLength) && isNCName(s + prefixLength + 1, length - prefixLength - 1);
}

// The length of the longest QName at the start of s (0 when none). Every shorter
// candidate that is already accepted as a QName would be accepted again at each length
// up to this one, so the recognisers take it at once instead of growing one character at
// a time, which would cost time quadratic in the length of the name.
std::size_t qnameRunLength(const char* s) {
  if (!isNameStart(s[0]))
    return 0;
  std::size_t i = 1;
  while (isNameChar(s[i]))
    ++i;
  if (s[i] == ':' && isNameStart(s[i + 1])) {
    i += 2;
    while (isNameChar(s[i]))
      ++i;
  }
  return i;
}

// Digits, optionally "." and digits; or "." and digits. Same reasoning as qnameRunLength.
std::size_t numberRunLength(const char* s) {
  std::size_t i = 0;
  while (isDigit(s[i]))
    ++i;
  if (s[i] == '.') {
    ++i;
    while (isDigit(s[i]))
      ++i;
  }
  return i;
}

// ---- Recognisers ----

// Each recogniser looks at the candidate (p, n) and either rejects it or fills token and
// accepts; a recogniser that takes a whole name or literal at once raises n.
class Recognisers {
 public:
  bool recognise(const char* p, std::size_t& n, Token& token) {
    return punctuation(p, n, token) || wholeName(p, n, token) || nameTest(p, n, token) ||
           operatorSymbol(p, n, token) || literal(p, n, token) || number(p, n, token) ||
           variable(p, n, token);
  }

 private:
  static void fill(Token& token, TokenKind kind, const char* text, std::size_t length) {
    token.kind = kind;
    token.text = text;
    token.length = static_cast<std::int32_t>(std::min<std::size_t>(length, INT32_MAX));
  }

  static bool punctuation(const char* p, std::size_t& n, Token& token) {
    TokenKind kind = punctuationTable().find({p, n});
    if (kind == TokenKind::None)
      return false;
    fill(token, kind, p, n);
    return true;
  }

  static bool wholeName(const char* p, std::size_t& n, Token& token) {
    if (!isNameStart(p[0]))
      return false;
    std::size_t m = 1;
    while (isNameChar(p[m]))
      ++m;
    if (m < n)
      return false;
    n = m;
    fill(token, TokenKind::NameTest, p, n);
    return true;
  }

  static bool nameTest(const char* p, std::size_t& n, Token& token) {
    if (n == 1 && p[0] == '*') {
      fill(token, TokenKind::NameTest, p, n);
      return true;
    }
    // prefix:* in full, then prefix: with the "*" just behind it, then a QName.
    bool accepted = (n > 2 && p[n - 2] == ':' && p[n - 1] == '*' && isNCName(p, n - 2)) ||
                    (n > 1 && p[n - 1] == ':' && p[n] == '*' && isNCName(p, n - 1));
    if (!accepted) {
      if (!isQName(p, n))
        return false;
      n = std::max(n, qnameRunLength(p));
    }
    fill(token, TokenKind::NameTest, p, n);
    return true;
  }

  static bool operatorSymbol(const char* p, std::size_t& n, Token& token) {
    TokenKind kind = operatorTable().find({p, n});
    if (kind == TokenKind::None)
      return false;
    fill(token, kind, p, n);
    return true;
  }

  bool literal(const char* p, std::size_t& n, Token& token) {
    if (p[0] != '"' && p[0] != '\'')
      return false;
    // While the lexer grows past an unterminated literal the search would be repeated
    // for every length; its answer depends only on p.
    if (p != quoteStart_) {
      quoteStart_ = p;
      closingQuote_ = std::strchr(p + 1, p[0]);
    }
    if (closingQuote_ == nullptr)
      return false;
    std::size_t q = closingQuote_ - p;
    if (q < n)
      return false;
    n = q + 1;
    fill(token, TokenKind::Literal, p + 1, q - 1);
    return true;
  }

  static bool number(const char* p, std::size_t& n, Token& token) {
    if (!isDigit(p[0]) && p[0] != '.')
      return false;
    std::size_t k = 0;
    while (k < n && isDigit(p[k]))
      ++k;
    if (k != n) {
      if (p[k] != '.')
        return false;
      for (std::size_t i = k + 1; i < n; ++i) {
        if (!isDigit(p[i]))
          return false;
      }
    }
    n = std::max(n, numberRunLength(p));
    fill(token, TokenKind::Number, p, n);
    return true;
  }

  static bool variable(const char* p, std::size_t& n, Token& token) {
    if (p[0] != '$' || !isQName(p + 1, n - 1))
      return false;
    n = std::max(n, 1 + qnameRunLength(p + 1));
    fill(token, TokenKind::VariableReference, p + 1, n - 1);
    return true;
  }

  const char* quoteStart_ = nullptr;
  const char* closingQuote_ = nullptr;
};

std::int32_t clampPosition(std::size_t position) {
  return static_cast<std::int32_t>(std::min<std::size_t>(position, INT32_MAX));
}

// ---- Post-pass ----

bool allowsOperator(TokenKind kind) {
  switch (kind) {
  case TokenKind::None:
  case TokenKind::At:
  case TokenKind::DoubleColon:
  case TokenKind::LeftParen:
  case TokenKind::LeftBracket:
  case TokenKind::Comma:
    return false;
  default:
    return !isOperator(kind);
  }
}

// A keyword token takes the table's record, no text and length 0, but keeps its place.
void becomeKeyword(Token& token, TokenKind kind) {
  token = Token{kind, nullptr, 0, token.position};
}

std::string_view textOf(const Token& token) {
  return {token.text, std::size_t(token.length)};
}

// Applies the disambiguation rules over each adjacent pair, from the second token on.
void disambiguate(TokenQueue& queue, std::size_t first) {
  for (std::size_t i = first + 1; i < queue.size(); ++i) {
    Token& previous = queue[i - 1];
    Token& current = queue[i];
    if (current.kind == TokenKind::NameTest && allowsOperator(previous.kind)) {
      if (current.text[0] == '*') {
        becomeKeyword(current, TokenKind::Multiply);
      } else {
        TokenKind kind = operatorTable().find(textOf(current));
        if (kind != TokenKind::None)
          becomeKeyword(current, kind);
      }
    }
    if (current.kind == TokenKind::LeftParen && previous.kind == TokenKind::NameTest) {
      TokenKind kind = nodeTypeTable().find(textOf(previous));
      if (kind != TokenKind::None)
        becomeKeyword(previous, kind);
      else
        previous.kind = TokenKind::FunctionName;  // keeps its text and position
    }
    if (current.kind == TokenKind::DoubleColon && previous.kind == TokenKind::NameTest) {
      TokenKind kind = axisTable().find(textOf(previous));
      if (kind != TokenKind::None)
        becomeKeyword(previous, kind);
    }
  }
}

}  // namespace

// ---- Main loop ----

const char* tokenize(const char* text, TokenQueue& queue) {
  std::size_t first = queue.size();
  Recognisers recognisers;
  const char* p = skipWhitespace(text);
  std::size_t n = 1;
  Token saved;
  std::size_t savedLength = 0;
  bool haveSaved = false;

  while (*p != '\0') {
    Token token;
    std::size_t length = n;
    if (recognisers.recognise(p, length, token)) {
      n = length;
      token.position = clampPosition(std::size_t(p - text));
      if (p[n] == '\0') {
        queue.append(token);
        p += n;
        break;
      }
      saved = token;
      savedLength = n;
      haveSaved = true;
      ++n;
    } else if (haveSaved) {
      p = skipWhitespace(p + savedLength);
      queue.append(saved);
      haveSaved = false;
      n = 1;
    } else {
      // Growing past a rejected prefix is what finds "!=" ("!" alone is no token).
      ++n;
      if (p[n - 1] == '\0')
        break;
    }
  }

  disambiguate(queue, first);
  queue.append(Token{TokenKind::End, nullptr, 0, clampPosition(std::size_t(p - text))});
  return p;
}

}  // namespace ovra
