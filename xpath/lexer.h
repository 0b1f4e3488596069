// The XPath lexer: turns an expression (or a match pattern) into the token queue the
// parser consumes, by growing a candidate one character at a time and keeping the
// longest one some recogniser accepts, then disambiguating names in one pass.
#pragma once

#include "xpath/runtime/token.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace ovra {

// Exact, case-sensitive map from a keyword to its token code. Built once and never
// changed afterwards; the keys must be texts of static storage duration.
class KeywordTable {
 public:
  KeywordTable(std::initializer_list<std::pair<std::string_view, TokenKind>> entries);

  // TokenKind::None when text is not a keyword.
  TokenKind find(std::string_view text) const;
  std::size_t size() const { return count_; }
  std::size_t bucketCount() const { return buckets_.size(); }

 private:
  struct Entry {
    std::string_view key;
    TokenKind kind;
    std::uint32_t hash;
  };
  void insert(std::string_view key, TokenKind kind);
  void grow();

  std::vector<std::vector<Entry>> buckets_;
  std::size_t count_ = 0;
  std::size_t longestKey_ = 0;  // longer texts are rejected without hashing
  // The first bytes of the keys, a bit each: the lexer asks about every candidate it
  // grows, and most begin with a letter no punctuation or operator begins with.
  std::uint64_t firstBytes_[4] = {};
};

// The four process-wide keyword tables, built on first use.
const KeywordTable& operatorTable();
const KeywordTable& punctuationTable();
const KeywordTable& nodeTypeTable();
const KeywordTable& axisTable();

// Tokens in expression order, read from the front. The parser backtracks by returning
// to a mark instead of copying the queue, so a failed step attempt costs nothing.
class TokenQueue {
 public:
  void append(const Token& token) { tokens_.push_back(token); }
  std::size_t size() const { return tokens_.size() - head_; }
  bool empty() const { return size() == 0; }

  // An end token when the queue is empty, so a reader can never run off the end.
  const Token& front() const;
  // Removes and returns the front token; an empty queue stays empty.
  Token pop();
  void pushFront(const Token& token);

  // Where the front is now; rewind(mark) puts back everything popped since.
  std::size_t mark() const { return head_; }
  void rewind(std::size_t mark) { head_ = mark; }

  // The i-th token counted from the front.
  const Token& operator[](std::size_t i) const { return tokens_[head_ + i]; }
  Token& operator[](std::size_t i) { return tokens_[head_ + i]; }

  void clear();

 private:
  std::vector<Token> tokens_;
  std::size_t head_ = 0;
};

// Appends the tokens of the NUL-terminated text to queue, followed by one end token,
// and returns a pointer to the first character that was not consumed: the terminator
// when the whole text was tokenised, otherwise the start of the text no recogniser
// accepted (nothing from there on is queued). Throws nothing. Token texts point into
// text, which must outlive the tokens; the text itself is never written.
const char* tokenize(const char* text, TokenQueue& queue);

}  // namespace ovra
