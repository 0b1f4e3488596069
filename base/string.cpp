#include "base/string.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace ovra {

String::String(const char* text, std::ptrdiff_t count) {
  if (text == nullptr)
    return;
  std::size_t n = count < 0 ? std::strlen(text) : std::size_t(count);
  if (n != 0)
    assign(text, n);
}

String::String(std::string_view text) {
  if (!text.empty())
    assign(text.data(), text.size());
}

String::String(const ConstString& other) {
  std::size_t n = other.length();
  if (n != 0)
    assign(other.c_str(), n);
}

String::String(const String& other) : ConstString() {
  if (other.length_ != 0)
    assign(other.text_, other.length_);
}

String& String::operator=(const String& other) {
  if (this != &other) {
    release();
    if (other.length_ != 0)
      assign(other.text_, other.length_);
  }
  return *this;
}

String& String::operator=(const ConstString& other) {
  if (this != &other) {
    String copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void String::assign(const char* text, std::size_t count) {
  char* buffer = static_cast<char*>(std::malloc(capacity(count)));
  std::memcpy(buffer, text, count);
  buffer[count] = '\0';
  text_ = buffer;
  length_ = std::uint32_t(count);
}

char* String::prepare(std::size_t length) {
  release();
  if (length == 0)
    return const_cast<char*>(text_);
  char* buffer = static_cast<char*>(std::malloc(capacity(length)));
  buffer[length] = '\0';
  text_ = buffer;
  length_ = std::uint32_t(length);
  return buffer;
}

void String::clear() {
  release();
}

String& String::append(std::string_view text) {
  std::size_t n = text.size();
  if (n == 0)
    return *this;
  std::size_t oldLength = length_;
  // The room must be strictly larger than what is appended: one byte stays for the terminator.
  if (isSentinel() || n >= capacity(oldLength) - oldLength - 1) {
    char* buffer = static_cast<char*>(std::malloc(capacity(oldLength + n)));
    std::memcpy(buffer, text_, oldLength);
    std::memcpy(buffer + oldLength, text.data(), n);  // before the free: text may be our own
    if (!isSentinel())
      std::free(const_cast<char*>(text_));
    text_ = buffer;
  } else {
    std::memmove(const_cast<char*>(text_) + oldLength, text.data(), n);
  }
  length_ = std::uint32_t(oldLength + n);
  const_cast<char*>(text_)[length_] = '\0';
  return *this;
}

String& String::append(const char* text) {
  if (text == nullptr)
    return *this;
  return append(std::string_view(text));
}

String& String::append(const ConstString& other, std::ptrdiff_t count) {
  std::size_t n = count < 0 ? other.length() : std::size_t(count);
  return append(std::string_view(other.c_str(), n));
}

}  // namespace ovra
