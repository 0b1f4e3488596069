// Input encodings: which one an XML entity (a document, a DTD, an external entity) is in,
// told by its first bytes and its XML or text declaration, and the conversion to UTF-8 of
// those the XML parser cannot decode itself. The parser decodes UTF-8, UTF-16, ISO-8859-1
// and US-ASCII (under any of their registered names); every other encoding the system's
// iconv knows (windows-1252, ISO-8859-2..16, KOI8-R, Shift_JIS, EUC-JP, GB18030, Big5,
// UTF-32, EBCDIC code pages, ...) is converted before the parser sees it.
#pragma once

#include "base/string.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ovra {

// One entity's bytes on their way to the parser, fed in order, one read at a time.
// Calling order: decode() until it answers true (the start of the input is held back
// while it is too short to tell the encoding), parserEncoding() once, then text() after
// every decode().
class InputDecoder {
 public:
  // forcedEncoding, when not empty, overrides whatever the input declares.
  explicit InputDecoder(std::string_view forcedEncoding = {});
  InputDecoder(const InputDecoder&) = delete;
  InputDecoder& operator=(const InputDecoder&) = delete;
  ~InputDecoder();

  // Takes the next count bytes; final marks the last of the input. False while the
  // encoding is undecided (only before final). When the input cannot be decoded, text()
  // holds what came before the fault and failure() says what is wrong.
  bool decode(const char* data, std::size_t count, bool final);
  // What to hand to the parser for the bytes of the last decode(): a view of them when the
  // parser decodes them itself, else their UTF-8. Valid until the next decode().
  std::string_view text() const { return text_; }
  // The encoding name to tell the parser before its first input; null to let the parser
  // read the declaration itself.
  const char* parserEncoding() const { return parserEncoding_; }
  // Empty, or why the input cannot be read: "unknown encoding 'x-foo'", "invalid byte
  // sequence for encoding 'KOI8-R'".
  const String& failure() const { return failure_; }

  // The name a declaration (or an override) gives, mapped to what the parser knows:
  // "UTF-8", "UTF-16", "UTF-16BE", "UTF-16LE", "ISO-8859-1", "US-ASCII" for any of their
  // registered names and aliases, compared without regard to case; null otherwise.
  static const char* parserNativeName(std::string_view name);
  // Whether name is an encoding this system can read, natively or through iconv.
  static bool isKnown(std::string_view name);

 private:
  class Converter;

  // Decides the encoding from the bytes held back; false when more are needed.
  bool decide(bool final);
  // Settles on an encoding by name (declared or forced); sets failure_ for an unknown one.
  void choose(std::string_view name);

  std::string forced_;
  std::string name_;  // the encoding chosen by name, for messages
  bool decided_ = false;
  std::string held_;                      // the start of the input, while the encoding is undecided
  std::unique_ptr<Converter> converter_;  // null when the parser decodes the input
  const char* parserEncoding_ = nullptr;
  std::string_view text_;
  std::string converted_;
  String failure_;
};

}  // namespace ovra
