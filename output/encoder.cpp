#include "output/encoder.h"

#include <cerrno>
#include <iconv.h>
#include <string>

namespace ovra {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// EncName: [A-Za-z] ([A-Za-z0-9._] | '-')*. It also keeps iconv suffixes such as
// "//TRANSLIT" out, which would silently replace characters instead of escaping them.
bool isEncodingName(std::string_view name) {
  if (name.empty() || !isAsciiLetter(name[0]))
    return false;
  for (char c : name) {
    if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_' && c != '-')
      return false;
  }
  return true;
}

// ISO-8859-1 by its usual names (DocBook's HTML output asks for it). A static program
// reaches iconv's converter for it only by loading the shared C library, which cost more
// than a small transformation; each code point below 256 is its own byte.
bool isLatin1(std::string_view name) {
  std::string lowered;
  for (char c : name)
    lowered += asciiLower(c);
  return lowered == "iso-8859-1" || lowered == "iso8859-1" || lowered == "iso_8859-1" ||
         lowered == "latin1";
}

iconv_t openIconv(std::string_view name) {
  if (!isEncodingName(name))
    return iconv_t(-1);
  return iconv_open(std::string(name).c_str(), "UTF-8");
}

}  // namespace

Encoder::~Encoder() {
  close();
}

bool Encoder::isUtf8(std::string_view name) {
  std::string lowered;
  for (char c : name)
    lowered += asciiLower(c);
  return lowered == "utf-8" || lowered == "utf8";
}

bool Encoder::isSupported(std::string_view name) {
  if (isUtf8(name) || isLatin1(name))
    return true;
  iconv_t handle = openIconv(name);
  if (handle == iconv_t(-1))
    return false;
  iconv_close(handle);
  return true;
}

bool Encoder::open(std::string_view name) {
  close();
  if (isLatin1(name)) {
    latin1_ = true;
    return true;
  }
  iconv_t handle = openIconv(name);
  if (handle == iconv_t(-1))
    return false;
  handle_ = handle;
  return true;
}

void Encoder::close() {
  if (handle_ != nullptr)
    iconv_close(iconv_t(handle_));
  handle_ = nullptr;
  latin1_ = false;
}

Encoder::Status Encoder::convertLatin1(const char*& input, std::size_t& inputLeft, char*& output,
                                       std::size_t& outputLeft) {
  while (inputLeft > 0) {
    if (outputLeft == 0)
      return Status::OutputFull;
    auto lead = static_cast<unsigned char>(*input);
    std::size_t count = 1;
    char32_t character = lead;
    if (lead >= 0x80) {
      character = decodeUtf8(input, inputLeft, count);
      // Not valid UTF-8 (decodeUtf8 then takes one byte), or beyond Latin-1.
      if (character > 0xFF || (count == 1 && character == kReplacementCharacter))
        return Status::Unconvertible;
    }
    *output++ = char(character);
    --outputLeft;
    input += count;
    inputLeft -= count;
  }
  return Status::Done;
}

Encoder::Status Encoder::convert(const char*& input, std::size_t& inputLeft, char*& output,
                                 std::size_t& outputLeft) {
  if (inputLeft == 0)
    return Status::Done;
  if (latin1_)
    return convertLatin1(input, inputLeft, output, outputLeft);
  char* in = const_cast<char*>(input);  // iconv's signature predates const
  std::size_t result = iconv(iconv_t(handle_), &in, &inputLeft, &output, &outputLeft);
  input = in;
  if (result != std::size_t(-1))
    return Status::Done;
  if (errno == E2BIG)
    return Status::OutputFull;
  // EILSEQ, or EINVAL for a sequence cut off at the end: neither can ever convert.
  return Status::Unconvertible;
}

bool Encoder::finish(char*& output, std::size_t& outputLeft) {
  if (latin1_)
    return true;  // no shift state
  return iconv(iconv_t(handle_), nullptr, nullptr, &output, &outputLeft) != std::size_t(-1);
}

char32_t decodeUtf8(const char* text, std::size_t length, std::size_t& count) {
  auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  count = 1;
  unsigned char lead = byte(0);
  if (lead < 0x80)
    return lead;
  std::size_t need;
  char32_t value;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return kReplacementCharacter;
  }
  if (length < need)
    return kReplacementCharacter;
  for (std::size_t i = 1; i < need; ++i) {
    if ((byte(i) & 0xC0) != 0x80)
      return kReplacementCharacter;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return kReplacementCharacter;
  count = need;
  return value;
}

}  // namespace ovra
