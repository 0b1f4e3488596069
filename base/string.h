// The three string classes that carry all text: names, node texts, messages and values.
// Text is 8-bit, NUL-terminated and handled as bytes (UTF-8 passes through unchanged).
// No text holds a NUL byte (XML cannot carry one), so the length a String stores and
// the length found by scanning to the terminator agree: the classes need no virtual
// functions, and a StringRef (a name) is two plain words, copied in registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace ovra {

namespace detail {
inline constexpr char kEmptyText[8] = {};
}  // namespace detail

// The one static, zero-length text shared by every empty String. It is never freed.
inline const char* emptyText() {
  return detail::kEmptyText;
}

// Non-owning view of NUL-terminated text; a null pointer becomes the empty text.
class ConstString {
 public:
  ConstString() : text_(emptyText()) {}
  ConstString(const char* text) : text_(text ? text : emptyText()) {}  // NOLINT: implicit by design
  ConstString(const ConstString& other) = default;
  ConstString& operator=(const ConstString& other) = default;

  // Counts the bytes up to the terminator on every call; String hides it with the length
  // it stores.
  std::size_t length() const { return std::char_traits<char>::length(text_); }

  const char* c_str() const { return text_; }
  bool empty() const { return text_[0] == '\0'; }
  std::string_view view() const { return std::string_view(text_); }

 protected:
  const char* text_;
};

// Owns its text. Buffers are sized by capacity(): the smallest multiple of 8 that is at
// least length + 2, recomputed from the length whenever needed rather than stored.
class String : public ConstString {
 public:
  String() = default;
  // count -1 means: up to the terminator. A null text gives the empty String.
  String(const char* text, std::ptrdiff_t count = -1);  // NOLINT: implicit by design
  String(std::string_view text);                        // NOLINT: implicit by design
  String(const ConstString& other);                     // NOLINT: implicit by design
  String(const String& other);
  String(String&& other) noexcept
      : ConstString(std::exchange(other.text_, emptyText())),
        length_(std::exchange(other.length_, 0)) {}
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept {
    if (this != &other) {
      release();
      text_ = std::exchange(other.text_, emptyText());
      length_ = std::exchange(other.length_, 0);
    }
    return *this;
  }
  String& operator=(const ConstString& other);
  ~String() { release(); }

  std::size_t length() const { return length_; }
  std::string_view view() const { return {text_, length_}; }

  // Appends NUL-terminated text; a null pointer appends nothing.
  String& append(const char* text);
  // Appends count bytes of other (count -1: all of it).
  String& append(const ConstString& other, std::ptrdiff_t count = -1);
  String& append(const String& other) { return append(other.view()); }
  String& append(std::string_view text);
  // Replaces the text with length bytes for the caller to fill in (the terminator is
  // written); answers where they go. Builds a text of known length in one allocation.
  char* prepare(std::size_t length);

  void clear();
  bool isSentinel() const { return text_ == emptyText(); }

  static std::size_t capacity(std::size_t length) { return (length + 9) & ~std::size_t{7}; }

 private:
  void assign(const char* text, std::size_t count);
  void release() {
    if (!isSentinel())
      std::free(const_cast<char*>(text_));
    text_ = emptyText();
    length_ = 0;
  }

  std::uint32_t length_ = 0;
};

// A set of interned names, one bit per name (several names may share a bit): the name
// filters that let searches skip subtrees are built from these.
using NameMask = std::uint64_t;
inline constexpr NameMask kAllNames = ~NameMask{0};

// Non-owning text plus one word. For names interned in the NamePool the word is the
// name's bit and equal names share one address, so names compare by address.
class StringRef : public ConstString {
 public:
  StringRef() = default;
  StringRef(const char* text, NameMask bit = 0) : ConstString(text), bit_(bit) {}
  StringRef(const StringRef& other) = default;
  StringRef& operator=(const StringRef& other) = default;

  NameMask bit() const { return bit_; }

  // Identity of interned names: the same text address.
  friend bool operator==(const StringRef& a, const StringRef& b) { return a.text_ == b.text_; }

 private:
  NameMask bit_ = 0;
};

// Byte-wise equality of two texts, for text that is not interned.
inline bool sameText(const ConstString& a, const ConstString& b) {
  return a.view() == b.view();
}
inline bool sameText(const String& a, const String& b) {
  return a.view() == b.view();
}

// The hash of every text-keyed table of the system: h = h * 33 + byte, from 0. Cheap
// for the short names it mostly sees; weak in its low bits, which tables that take bits
// from it mix first.
constexpr std::uint32_t hashText(std::string_view text) {
  std::uint32_t h = 0;
  for (char c : text)
    h = h * 33 + static_cast<unsigned char>(c);
  return h;
}

// hashText for unordered containers; transparent, so a std::string_view finds a
// std::string key without building one.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return hashText(text); }
};

// XML names without colons (Namespaces in XML, NCName): a letter or "_" first, then
// letters, digits, ".", "-" and "_". Bytes of UTF-8 sequences count as letters.
inline bool isNCName(std::string_view text) {
  auto start = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
  };
  if (text.empty() || !start(static_cast<unsigned char>(text.front())))
    return false;
  for (char c : text.substr(1)) {
    auto b = static_cast<unsigned char>(c);
    if (!start(b) && !(b >= '0' && b <= '9') && b != '.' && b != '-')
      return false;
  }
  return true;
}

// An NCName, or two joined by one colon.
inline bool isQName(std::string_view text) {
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return isNCName(text);
  return isNCName(text.substr(0, colon)) && isNCName(text.substr(colon + 1));
}

// XML white space: space, tab, line feed and carriage return.
inline bool isXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Calls visit with each white-space-separated token of text, in order: the name lists
// of stylesheet attributes, the ID lists of id().
template <class Visit>
void forEachToken(std::string_view text, Visit visit) {
  std::size_t offset = 0;
  while (offset < text.size()) {
    while (offset < text.size() && isXmlSpace(text[offset]))
      ++offset;
    std::size_t end = offset;
    while (end < text.size() && !isXmlSpace(text[end]))
      ++end;
    if (end > offset)
      visit(text.substr(offset, end - offset));
    offset = end;
  }
}

}  // namespace ovra
