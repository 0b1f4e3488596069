// EXSLT strings (http://exslt.org/strings). Texts are UTF-8 and are cut at character
// boundaries, never inside a character.
#include "base/exceptions.h"
#include "output/encoder.h"
#include "tree/encoding.h"
#include "tree/node.h"
#include "tree/uri.h"
#include "xpath/runtime/decimal_format.h"
#include "xslt/exslt/exslt.h"
#include "xslt/exslt/exslt_impl.h"
#include "xslt/result_sink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace ovra {

namespace {

constexpr const char* kPaddingTooLong = "str:padding() asked for a string too long to build";
constexpr const char* kUnsupportedEncoding = "Unsupported encoding for str:";

// Strings beyond this many bytes are refused rather than built.
constexpr double kMaxPaddingBytes = double(1u << 30);

constexpr std::string_view kTokenName = "token";

// The characters of text, each as the bytes that encode it.
std::vector<std::string_view> charactersOf(std::string_view text) {
  std::vector<std::string_view> characters;
  for (std::size_t offset = 0; offset < text.size();) {
    std::size_t length =
        std::min(utf8CharLength(static_cast<unsigned char>(text[offset])), text.size() - offset);
    characters.push_back(text.substr(offset, length));
    offset += length;
  }
  return characters;
}

std::size_t countCharacters(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t offset = 0; offset < text.size();
       offset += utf8CharLength(static_cast<unsigned char>(text[offset])))
    ++count;
  return count;
}

// The byte length of the first count characters of text (all of it when shorter).
std::size_t prefixBytes(std::string_view text, std::size_t count) {
  std::size_t offset = 0;
  for (; count > 0 && offset < text.size(); --count)
    offset += utf8CharLength(static_cast<unsigned char>(text[offset]));
  return std::min(offset, text.size());
}

// ---- Padding and alignment ----

// length characters of the second argument (a space by default) repeated and cut to
// fit; the length is truncated to an integer, and NaN, negative lengths and an empty
// pad give the empty string.
Value paddingFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  double length = std::trunc(numberOf(args[0]));
  String scratch;
  std::string_view pad = args.size() > 1 ? stringView(args[1], scratch) : std::string_view(" ");
  if (!(length > 0) || pad.empty())
    return Value::makeString(String());
  std::size_t padChars = countCharacters(pad);
  if (length / double(padChars) * double(pad.size()) > kMaxPaddingBytes)
    throw EvaluateException(call.position, kPaddingTooLong);
  auto wanted = std::size_t(length);
  std::size_t whole = wanted / padChars;
  std::size_t restBytes = prefixBytes(pad, wanted % padChars);
  String result;
  char* out = result.prepare(whole * pad.size() + restBytes);
  for (std::size_t i = 0; i < whole; ++i, out += pad.size())
    std::memcpy(out, pad.data(), pad.size());
  std::memcpy(out, pad.data(), restBytes);
  return Value::makeString(std::move(result));
}

// The string laid over the padding, at its left (the default and for an unknown
// alignment), right or center (the odd character of padding going to the right); a
// string longer than the padding is cut to the padding's length.
Value alignFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  StringArg padding(args[1]);
  std::string_view alignment = args.size() > 2 ? StringArg(args[2]).view() : std::string_view();
  std::size_t textChars = countCharacters(text.view());
  std::size_t paddingChars = countCharacters(padding.view());
  if (textChars >= paddingChars)
    return Value::makeString(String(text.view().substr(0, prefixBytes(text.view(), paddingChars))));
  std::size_t before = 0;
  if (alignment == "right")
    before = paddingChars - textChars;
  else if (alignment == "center")
    before = (paddingChars - textChars) / 2;
  std::size_t beforeBytes = prefixBytes(padding.view(), before);
  std::size_t afterStart = prefixBytes(padding.view(), before + textChars);
  std::string result(padding.view().substr(0, beforeBytes));
  result += text.view();
  result += padding.view().substr(afterStart);
  return Value::makeString(String(result));
}

Value concatFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  String result;
  for (Node* node : nodeSetArgument(call, "str:concat", args, 0))
    result.append(node->stringValue());
  return Value::makeString(std::move(result));
}

// ---- Splitting ----

// One token element per piece of the text between delimiter characters (white space by
// default); no empty tokens. Empty delimiters make every character a token.
Value tokenizeFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg text(args[0]);
  String scratch;
  std::string_view delimiters =
      args.size() > 1 ? stringView(args[1], scratch) : std::string_view("\t\n\r ");
  ResultTreeBuilder tokens(context);
  std::vector<std::string_view> delimiterChars = charactersOf(delimiters);
  std::size_t start = 0;
  for (std::string_view character : charactersOf(text.view())) {
    std::size_t at = std::size_t(character.data() - text.view().data());
    if (delimiterChars.empty()) {
      tokens.addElement(kTokenName, character);
      continue;
    }
    if (std::find(delimiterChars.begin(), delimiterChars.end(), character) == delimiterChars.end())
      continue;
    if (at > start)
      tokens.addElement(kTokenName, text.view().substr(start, at - start));
    start = at + character.size();
  }
  if (!delimiterChars.empty() && start < text.view().size())
    tokens.addElement(kTokenName, text.view().substr(start));
  return tokens.finish();
}

// One token element per piece of the text between occurrences of the pattern (a space
// by default); no empty tokens. An empty pattern makes every character a token.
Value splitFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg text(args[0]);
  String scratch;
  std::string_view pattern = args.size() > 1 ? stringView(args[1], scratch) : std::string_view(" ");
  ResultTreeBuilder tokens(context);
  if (pattern.empty()) {
    for (std::string_view character : charactersOf(text.view()))
      tokens.addElement(kTokenName, character);
    return tokens.finish();
  }
  std::string_view rest = text.view();
  while (!rest.empty()) {
    std::size_t at = rest.find(pattern);
    std::string_view piece = rest.substr(0, at);
    if (!piece.empty())
      tokens.addElement(kTokenName, piece);
    if (at == std::string_view::npos)
      break;
    rest.remove_prefix(at + pattern.size());
  }
  return tokens.finish();
}

// ---- Replacing ----

// str:replace builds its result in a tree of its own: runs of text as one text node each
// (so that the string value of the first node is the whole text when only strings were
// put in), and copies of the replacement nodes that are not text.
class ReplacementBuilder {
 public:
  explicit ReplacementBuilder(EvaluationHost* host) : sink_(nullptr, nullptr), host_(host) {}

  void addText(std::string_view text) { pending_ += text; }

  // A replacement node: text and the text of attributes and namespace nodes (which
  // EXSLT allows to recover from as empty text) joins the run; a root gives its
  // children; anything else is copied whole.
  void addNode(Node* node) {
    switch (node->kind()) {
    case NodeKind::Text:
      pending_ += node->stringValue().view();
      return;
    case NodeKind::Attribute:
    case NodeKind::Namespace:
      return;
    case NodeKind::Root:
      for (Node* child = node->firstChild(); child != nullptr; child = child->nextSibling())
        addNode(child);
      return;
    default:
      flush();
      sink_.copyDeep(node);
      return;
    }
  }

  Value finish() {
    flush();
    std::shared_ptr<Node> root = sink_.takeTree();
    NodeVector nodes;
    for (Node* child = root->firstChild(); child != nullptr; child = child->nextSibling())
      nodes.push_back(child);
    if (host_ != nullptr)
      host_->keepTree(root);
    return Value::makeNodeSet(std::move(nodes), std::move(root));
  }

 private:
  void flush() {
    if (!pending_.empty())
      sink_.writeValue(Value::makeString(String(pending_)), false);
    pending_.clear();
  }

  TreeResultSink sink_;
  EvaluationHost* host_;
  std::string pending_;
};

bool isNodeSet(const Value& value) {
  return value.kind() == ValueKind::NodeSet || value.kind() == ValueKind::None;
}

// Replaces each occurrence of a search string with the replacement node of the same
// position (nothing when there is none), the longest search string first where several
// start at one place; an empty search string stands between every two characters. The
// result is a node-set: the text around the replacements and the replacements.
Value replaceFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg text(args[0]);
  std::vector<String> searches;
  if (isNodeSet(args[1])) {
    for (Node* node : nodeMembers(args[1]))
      searches.push_back(node->stringValue());
  } else {
    searches.push_back(stringOf(args[1]));
  }
  bool replacementIsText = !isNodeSet(args[2]);
  String replacementText = replacementIsText ? stringOf(args[2]) : String();
  std::span<Node* const> replacements = nodeMembers(args[2]);

  // The search strings by length, longest first; ties keep their order.
  std::vector<std::size_t> order(searches.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return searches[a].length() > searches[b].length();
  });
  auto empty = std::find_if(order.begin(), order.end(),
                            [&](std::size_t index) { return searches[index].empty(); });

  ReplacementBuilder result(context.host);
  auto replace = [&](std::size_t index) {
    if (replacementIsText && index == 0)
      result.addText(replacementText.view());
    else if (index < replacements.size())
      result.addNode(replacements[index]);
  };
  std::string_view rest = text.view();
  bool afterCharacter = false;
  while (!rest.empty()) {
    auto match = std::find_if(order.begin(), empty, [&](std::size_t index) {
      return rest.starts_with(searches[index].view());
    });
    if (match != empty) {
      replace(*match);
      rest.remove_prefix(searches[*match].length());
      afterCharacter = false;
      continue;
    }
    if (empty != order.end() && afterCharacter)
      replace(*empty);
    std::size_t length =
        std::min(utf8CharLength(static_cast<unsigned char>(rest.front())), rest.size());
    result.addText(rest.substr(0, length));
    rest.remove_prefix(length);
    afterCharacter = true;
  }
  return result.finish();
}

// ---- URIs ----

enum class UriEncoding { Utf8, Latin1, Ascii };

// UTF-8 when name is empty; ISO-8859-1 and US-ASCII under any of their names; an error
// for anything else.
UriEncoding uriEncodingOf(const Token& call, const char* function, std::string_view name) {
  if (name.empty() || Encoder::isUtf8(name))
    return UriEncoding::Utf8;
  if (const char* native = InputDecoder::parserNativeName(name)) {
    if (std::strcmp(native, "ISO-8859-1") == 0)
      return UriEncoding::Latin1;
    if (std::strcmp(native, "US-ASCII") == 0)
      return UriEncoding::Ascii;
  }
  throw EvaluateException(
      call.position, String(kUnsupportedEncoding).append(function).append("(), ").append(name));
}

bool isHexDigit(char c) {
  return hexDigitValue(c) >= 0;
}

// Escapes what RFC 2396 (with RFC 2732) does not allow in a URI: everything but letters,
// digits and the marks -_.!~*'(), and the reserved characters ;/?:@&=+$,[] too when
// escapeReserved; a % that already starts an escape stays.
Value encodeUriFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  bool escapeReserved = booleanOf(args[1]);
  UriEncoding encoding =
      uriEncodingOf(call, "encode-uri", args.size() > 2 ? StringArg(args[2]).view() : "");
  std::string_view input = text.view();
  std::string out;
  for (std::size_t i = 0; i < input.size();) {
    char c = input[i];
    bool keep =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        std::strchr("-_.!~*'()", c) != nullptr ||
        (!escapeReserved && std::strchr(";/?:@&=+$,[]", c) != nullptr) ||
        (c == '%' && i + 2 < input.size() && isHexDigit(input[i + 1]) && isHexDigit(input[i + 2]));
    if (keep) {
      out += c;
      ++i;
      continue;
    }
    std::size_t count = 1;
    char32_t code = decodeUtf8(input.data() + i, input.size() - i, count);
    if (encoding == UriEncoding::Utf8) {
      for (std::size_t k = 0; k < count; ++k)
        appendPercentEscape(out, static_cast<unsigned char>(input[i + k]));
    } else {
      char32_t limit = encoding == UriEncoding::Latin1 ? 0xFF : 0x7F;
      appendPercentEscape(out, code <= limit ? static_cast<unsigned char>(code) : '?');
    }
    i += count;
  }
  return Value::makeString(String(out));
}

// Whether XML allows the character in a document.
bool isXmlCharacter(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends the characters of escaped bytes: in UTF-8 each byte that starts no valid
// sequence, and each character XML does not allow, becomes U+FFFD.
void appendDecoded(std::string& out, std::string_view bytes, UriEncoding encoding) {
  constexpr char32_t kReplacement = 0xFFFD;
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t count = 1;
    char32_t code;
    if (encoding == UriEncoding::Utf8)
      code = decodeUtf8(bytes.data() + i, bytes.size() - i, count);
    else
      code = static_cast<unsigned char>(bytes[i]);
    if (encoding == UriEncoding::Ascii && code > 0x7F)
      code = kReplacement;
    appendUtf8(out, isXmlCharacter(code) ? code : kReplacement);
    i += count;
  }
}

// Each %XX escape becomes the byte it names, and each run of such bytes the characters
// they encode; a % that starts no escape stays as it is.
Value decodeUriFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  UriEncoding encoding =
      uriEncodingOf(call, "decode-uri", args.size() > 1 ? StringArg(args[1]).view() : "");
  std::string_view input = text.view();
  std::string out;
  std::string bytes;
  for (std::size_t i = 0; i < input.size();) {
    if (input[i] == '%' && i + 2 < input.size() && isHexDigit(input[i + 1]) &&
        isHexDigit(input[i + 2])) {
      bytes += char(hexDigitValue(input[i + 1]) * 16 + hexDigitValue(input[i + 2]));
      i += 3;
      continue;
    }
    appendDecoded(out, bytes, encoding);
    bytes.clear();
    out += input[i++];
  }
  appendDecoded(out, bytes, encoding);
  return Value::makeString(String(out));
}

constexpr NamedFunction kFunctions[] = {
    {"align", {2, 3, alignFunction, FunctionResult::String}},
    {"concat", {1, 1, concatFunction, FunctionResult::String}},
    {"decode-uri", {1, 2, decodeUriFunction, FunctionResult::String}},
    {"encode-uri", {2, 3, encodeUriFunction, FunctionResult::String}},
    {"padding", {1, 2, paddingFunction, FunctionResult::String}},
    {"replace", {3, 3, replaceFunction, FunctionResult::NodeSet}},
    {"split", {1, 2, splitFunction, FunctionResult::NodeSet}},
    {"tokenize", {1, 2, tokenizeFunction, FunctionResult::NodeSet}},
};

}  // namespace

void registerStringsModule(FunctionRegistry& registry) {
  registry.add(kExsltStringsNamespace, kFunctions);
}

}  // namespace ovra
