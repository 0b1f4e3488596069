// Telling an entity's encoding from its first bytes (XML 1.0 appendix F) and converting
// the encodings the parser does not know to UTF-8 through iconv.
#include "tree/encoding.h"

#include "base/exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace ovra {

static constexpr const char* kUnknownEncoding = "unknown encoding '%s'";
static constexpr const char* kInvalidSequence = "invalid byte sequence for encoding '%s'";

// A declaration longer than this is not looked for further; the parser judges it.
static constexpr std::size_t kLongestDeclaration = 1024;

namespace {

struct NativeName {
  const char* alias;  // lower case
  const char* name;   // as the parser spells it
};

// The registered names and aliases of the encodings the parser decodes itself.
constexpr NativeName kNativeNames[] = {
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"csutf8", "UTF-8"},
    {"utf-16", "UTF-16"},
    {"utf16", "UTF-16"},
    {"csutf16", "UTF-16"},
    {"utf-16be", "UTF-16BE"},
    {"csutf16be", "UTF-16BE"},
    {"utf-16le", "UTF-16LE"},
    {"csutf16le", "UTF-16LE"},
    {"iso-8859-1", "ISO-8859-1"},
    {"iso_8859-1", "ISO-8859-1"},
    {"iso_8859-1:1987", "ISO-8859-1"},
    {"iso8859-1", "ISO-8859-1"},
    {"iso88591", "ISO-8859-1"},
    {"iso-ir-100", "ISO-8859-1"},
    {"latin1", "ISO-8859-1"},
    {"l1", "ISO-8859-1"},
    {"ibm819", "ISO-8859-1"},
    {"cp819", "ISO-8859-1"},
    {"csisolatin1", "ISO-8859-1"},
    {"us-ascii", "US-ASCII"},
    {"ascii", "US-ASCII"},
    {"ansi_x3.4-1968", "US-ASCII"},
    {"ansi_x3.4-1986", "US-ASCII"},
    {"iso-ir-6", "US-ASCII"},
    {"iso_646.irv:1991", "US-ASCII"},
    {"iso646-us", "US-ASCII"},
    {"us", "US-ASCII"},
    {"ibm367", "US-ASCII"},
    {"cp367", "US-ASCII"},
    {"csascii", "US-ASCII"},
};

// Registered names that iconv spells differently (the "cs" names are tried without their
// prefix as well, which covers most of the rest).
constexpr NativeName kConverterAliases[] = {
    {"extended_unix_code_packed_format_for_japanese", "EUC-JP"},
    {"csbig5", "BIG5"},
    {"iso-10646-ucs-2", "UCS-2BE"},
    {"iso-10646-ucs-4", "UCS-4BE"},
    {"csiso885915", "ISO-8859-15"},
    {"csiso885916", "ISO-8859-16"},
    {"x-sjis", "SHIFT_JIS"},
    {"x-mac-roman", "MACINTOSH"},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
         });
}

// EncName of XML 1.0: [A-Za-z] ([A-Za-z0-9._] | '-')*. Anything else (a slash would ask
// iconv for transliteration) is no encoding name.
bool isEncodingName(std::string_view name) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (name.empty() || !letter(name[0]))
    return false;
  return std::all_of(name.begin(), name.end(), [&](char c) {
    return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-' || c == ':';
  });
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

enum class Declaration { Incomplete, Absent, Found };

// Reads the encoding pseudo-attribute of an XML or text declaration at the start of text
// (ASCII-compatible). Incomplete when text may be the start of a declaration not yet read
// to its end.
Declaration findDeclaredEncoding(std::string_view text, bool final, std::string& name) {
  constexpr std::string_view kOpen = "<?xml";
  std::size_t prefix = std::min(text.size(), kOpen.size());
  if (text.substr(0, prefix) != kOpen.substr(0, prefix))
    return Declaration::Absent;
  if (text.size() <= kOpen.size())
    return final ? Declaration::Absent : Declaration::Incomplete;
  if (!isSpace(text[kOpen.size()]))
    return Declaration::Absent;  // a processing instruction such as <?xml-stylesheet
  std::size_t end = text.find("?>");
  if (end == std::string_view::npos) {
    if (!final && text.size() < kLongestDeclaration)
      return Declaration::Incomplete;
    return Declaration::Absent;
  }
  std::string_view declaration = text.substr(0, end);
  std::size_t at = declaration.find("encoding");
  if (at == std::string_view::npos)
    return Declaration::Absent;
  at += std::strlen("encoding");
  while (at < declaration.size() && isSpace(declaration[at]))
    ++at;
  if (at == declaration.size() || declaration[at] != '=')
    return Declaration::Absent;
  ++at;
  while (at < declaration.size() && isSpace(declaration[at]))
    ++at;
  if (at == declaration.size() || (declaration[at] != '"' && declaration[at] != '\''))
    return Declaration::Absent;
  std::size_t close = declaration.find(declaration[at], at + 1);
  if (close == std::string_view::npos)
    return Declaration::Absent;
  name = declaration.substr(at + 1, close - at - 1);
  return Declaration::Found;
}

bool startsWith(std::string_view text, std::string_view bytes) {
  return text.substr(0, bytes.size()) == bytes;
}

}  // namespace

// ---- Conversion ----

class InputDecoder::Converter {
 public:
  // Null when iconv knows no encoding by that name.
  static std::unique_ptr<Converter> open(std::string_view name) {
    if (!isEncodingName(name))
      return nullptr;
    std::string candidates[3] = {std::string(name), {}, {}};
    for (const NativeName& alias : kConverterAliases) {
      if (equalsIgnoringCase(name, alias.alias))
        candidates[1] = alias.name;
    }
    if (name.size() > 2 && equalsIgnoringCase(name.substr(0, 2), "cs"))
      candidates[2] = name.substr(2);
    for (const std::string& candidate : candidates) {
      if (candidate.empty())
        continue;
      iconv_t handle = iconv_open("UTF-8", candidate.c_str());
      if (handle != iconv_t(-1))
        return std::unique_ptr<Converter>(new Converter(handle));
    }
    return nullptr;
  }

  ~Converter() { iconv_close(handle_); }

  // Appends the UTF-8 of the input to out; false at a byte sequence that is invalid (or
  // incomplete at the final end), with out holding what came before it.
  bool convert(const char* data, std::size_t count, bool final, std::string& out) {
    std::string joined;
    if (!pending_.empty()) {
      joined = pending_;
      joined.append(data, count);
      pending_.clear();
      data = joined.data();
      count = joined.size();
    }
    char* in = const_cast<char*>(data);  // iconv's declaration lacks the const
    std::size_t inLeft = count;
    std::size_t used = out.size();
    out.resize(used + count * 3 + 16);
    for (;;) {
      char* target = out.data() + used;
      std::size_t outLeft = out.size() - used;
      std::size_t result = final && inLeft == 0
                               ? iconv(handle_, nullptr, nullptr, &target, &outLeft)
                               : iconv(handle_, &in, &inLeft, &target, &outLeft);
      used = std::size_t(target - out.data());
      if (result != std::size_t(-1)) {
        if (final && inLeft == 0 && !flushed_) {
          flushed_ = true;  // once more, to end a stateful encoding's shift sequence
          continue;
        }
        break;
      }
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      if (errno == EINVAL && !final) {
        pending_.assign(in, inLeft);  // the start of a character whose rest is still to come
        break;
      }
      out.resize(used);
      return false;
    }
    out.resize(used);
    return true;
  }

 private:
  explicit Converter(iconv_t handle) : handle_(handle) {}

  iconv_t handle_;
  std::string pending_;  // an incomplete sequence at the end of the last input
  bool flushed_ = false;
};

// ---- Decoder ----

InputDecoder::InputDecoder(std::string_view forcedEncoding) : forced_(forcedEncoding) {}

InputDecoder::~InputDecoder() = default;

const char* InputDecoder::parserNativeName(std::string_view name) {
  for (const NativeName& native : kNativeNames) {
    if (equalsIgnoringCase(name, native.alias))
      return native.name;
  }
  return nullptr;
}

bool InputDecoder::isKnown(std::string_view name) {
  return parserNativeName(name) != nullptr || Converter::open(name) != nullptr;
}

bool InputDecoder::decode(const char* data, std::size_t count, bool final) {
  std::string_view input(data, count);
  if (!decided_) {
    held_.append(data, count);
    if (!decide(final))
      return false;
    decided_ = true;
    input = held_;
  }
  if (!failure_.empty()) {
    text_ = {};
  } else if (converter_ == nullptr) {
    text_ = input;
  } else {
    converted_.clear();
    if (!converter_->convert(input.data(), input.size(), final, converted_))
      failure_ = formatMessage(kInvalidSequence, name_.c_str());
    text_ = converted_;
  }
  if (!held_.empty() && input.data() != held_.data())
    held_ = std::string();
  return true;
}

bool InputDecoder::decide(bool final) {
  if (!forced_.empty()) {
    choose(forced_);
    return true;
  }
  std::string_view start = held_;
  if (start.size() < 4 && !final)
    return false;
  // UTF-32 and EBCDIC show in the first four bytes; a byte-order mark is dropped, since
  // the converted text has its own byte order.
  constexpr std::string_view kUtf32BigMark("\0\0\xFE\xFF", 4), kUtf32LittleMark("\xFF\xFE\0\0", 4);
  constexpr std::string_view kUtf32Big("\0\0\0<", 4), kUtf32Little("<\0\0\0", 4);
  constexpr std::string_view kEbcdic("\x4C\x6F\xA7\x94", 4);
  if (startsWith(start, kUtf32BigMark) || startsWith(start, kUtf32Big) ||
      startsWith(start, kUtf32LittleMark) || startsWith(start, kUtf32Little)) {
    bool big = startsWith(start, kUtf32BigMark) || startsWith(start, kUtf32Big);
    if (startsWith(start, kUtf32BigMark) || startsWith(start, kUtf32LittleMark))
      held_.erase(0, 4);
    choose(big ? "UTF-32BE" : "UTF-32LE");
    return true;
  }
  // UTF-16 (with a byte-order mark or without) the parser tells itself.
  if (startsWith(start, "\xFE\xFF") || startsWith(start, "\xFF\xFE") ||
      startsWith(start, std::string_view("\0<\0?", 4)) ||
      startsWith(start, std::string_view("<\0?\0", 4)))
    return true;
  std::string declared;
  if (startsWith(start, kEbcdic)) {
    // The declaration's characters have one code in every EBCDIC page.
    std::unique_ptr<Converter> ebcdic = Converter::open("IBM037");
    std::string ascii;
    std::size_t length = std::min(start.size(), kLongestDeclaration);
    if (ebcdic != nullptr)
      ebcdic->convert(start.data(), length, /*final=*/true, ascii);
    Declaration found =
        findDeclaredEncoding(ascii, final || length == kLongestDeclaration, declared);
    if (found == Declaration::Incomplete)
      return false;
    choose(found == Declaration::Found ? std::string_view(declared) : "IBM037");
    return true;
  }
  bool marked = startsWith(start, "\xEF\xBB\xBF");
  if (marked)
    start.remove_prefix(3);
  switch (findDeclaredEncoding(start, final, declared)) {
  case Declaration::Incomplete:
    return false;
  case Declaration::Absent:
    return true;  // UTF-8, which the parser reads
  case Declaration::Found:
    break;
  }
  // The names the parser knows by itself it also checks against the input: let it read
  // those from the declaration.
  for (const char* own : {"UTF-8", "UTF-16", "UTF-16BE", "UTF-16LE", "ISO-8859-1", "US-ASCII"}) {
    if (equalsIgnoringCase(declared, own))
      return true;
  }
  // The mark of UTF-8 means nothing to another encoding's reader.
  if (marked)
    held_.erase(0, 3);
  choose(declared);
  return true;
}

void InputDecoder::choose(std::string_view name) {
  name_ = name;
  if ((parserEncoding_ = parserNativeName(name)) != nullptr)
    return;
  converter_ = Converter::open(name);
  if (converter_ == nullptr) {
    failure_ = formatMessage(kUnknownEncoding, name_.c_str());
    return;
  }
  parserEncoding_ = "UTF-8";
}

}  // namespace ovra
