// Converts the UTF-8 that all text is held in to the output encoding named by
// xsl:output: ISO-8859-1 directly, any other through the C library's iconv. UTF-8 itself
// needs no Encoder.
#pragma once

#include <cstddef>
#include <string_view>

namespace ovra {

// One conversion state for one output stream. Calling order: open, then convert as
// often as needed, then finish once to end any shift state the encoding keeps.
class Encoder {
 public:
  enum class Status {
    Done = 0,           // all input consumed
    OutputFull = 1,     // room ran out; write the output and call again
    Unconvertible = 2,  // input stops at a character the encoding cannot represent
                        // (or at a byte that is not valid UTF-8)
  };

  Encoder() = default;
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;
  ~Encoder();

  // True for the names of UTF-8 ("utf-8", "UTF8", any case): written without conversion.
  static bool isUtf8(std::string_view name);
  // True when output can be written in this encoding: the name has the form of an XML
  // encoding name and the C library can convert UTF-8 to it.
  static bool isSupported(std::string_view name);

  // False when the encoding is not supported; the Encoder then stays closed.
  bool open(std::string_view name);
  bool isOpen() const { return handle_ != nullptr || latin1_; }

  // Advances input and output past what was converted.
  Status convert(const char*& input, std::size_t& inputLeft, char*& output,
                 std::size_t& outputLeft);
  // Writes whatever ends the encoding's shift state; false when it did not fit.
  bool finish(char*& output, std::size_t& outputLeft);

 private:
  void close();
  Status convertLatin1(const char*& input, std::size_t& inputLeft, char*& output,
                       std::size_t& outputLeft);

  void* handle_ = nullptr;  // an iconv_t
  bool latin1_ = false;     // ISO-8859-1, converted without iconv
};

// Decodes the UTF-8 character at text (length bytes available) into its code point and
// byte count. A byte that starts no valid sequence counts alone and decodes to U+FFFD.
char32_t decodeUtf8(const char* text, std::size_t length, std::size_t& count);

}  // namespace ovra
