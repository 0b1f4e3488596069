// URI references resolved the way RFC 3986 section 5.2 describes, cut down to what naming
// files needs: no query-only references, fragments kept as text.
#include "tree/uri.h"

#include <vector>

namespace ovra {

namespace {

bool isSchemeCharacter(char c, bool first) {
  bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  return letter || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}


std::string percentDecode(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    int high = 0, low = 0;
    if (text[i] == '%' && i + 2 < text.size() && (high = hexDigitValue(text[i + 1])) >= 0 &&
        (low = hexDigitValue(text[i + 2])) >= 0) {
      decoded += char(high * 16 + low);
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view path) {
  std::vector<std::string_view> kept;
  bool absolute = !path.empty() && path.front() == '/';
  std::size_t at = absolute ? 1 : 0;
  bool directory = false;  // the last segment was "." or "..": the result names a folder
  while (at <= path.size()) {
    std::size_t slash = path.find('/', at);
    std::string_view segment =
        path.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at);
    directory = segment == "." || segment == "..";
    if (segment == "..") {
      if (!kept.empty())
        kept.pop_back();
    } else if (segment != ".") {
      kept.push_back(segment);
    }
    if (slash == std::string_view::npos)
      break;
    at = slash + 1;
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0)
      result += '/';
    result += kept[i];
  }
  if (directory && !result.empty() && result.back() != '/')
    result += '/';
  return result;
}

struct SplitURI {
  std::string_view scheme;     // without the colon
  std::string_view authority;  // without the slashes; hasAuthority tells an empty one
  bool hasAuthority = false;
  std::string_view path;  // with the query and fragment
};

SplitURI splitURI(std::string_view uri) {
  SplitURI split;
  split.scheme = uriScheme(uri);
  std::string_view rest = uri.substr(split.scheme.empty() ? 0 : split.scheme.size() + 1);
  if (rest.substr(0, 2) == "//") {
    split.hasAuthority = true;
    std::size_t end = rest.find('/', 2);
    split.authority =
        rest.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  split.path = rest;
  return split;
}

}  // namespace

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

void appendPercentEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

std::string_view uriScheme(std::string_view reference) {
  std::size_t colon = reference.find(':');
  if (colon == std::string_view::npos || colon < 2)
    return {};
  for (std::size_t i = 0; i < colon; ++i) {
    if (!isSchemeCharacter(reference[i], i == 0))
      return {};
  }
  return reference.substr(0, colon);
}

bool isNetworkURI(std::string_view reference) {
  std::string_view scheme = uriScheme(reference);
  if (scheme.empty())
    return false;
  std::string lower;
  for (char c : scheme)
    lower += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return lower != "file";
}

std::string resolveURI(std::string_view base, std::string_view reference) {
  SplitURI split = splitURI(base);
  std::string_view scheme = uriScheme(reference);
  // "file:x.xsl" against a file is read as the relative reference "x.xsl", the
  // non-strict reading RFC 3986 allows for a scheme the base shares.
  bool fileBase = split.scheme.empty() || !isNetworkURI(base);
  if (!scheme.empty() && fileBase && !isNetworkURI(reference) &&
      reference.substr(scheme.size() + 1, 1) != "/")
    reference.remove_prefix(scheme.size() + 1);
  else if (!scheme.empty())
    return std::string(reference);
  std::string prefix;
  if (!split.scheme.empty()) {
    prefix = std::string(split.scheme) + ":";
    if (split.hasAuthority)
      prefix += "//" + std::string(split.authority);
  }
  if (reference.substr(0, 2) == "//" && !split.scheme.empty())
    return std::string(split.scheme) + ":" + std::string(reference);
  std::string path;
  if (!reference.empty() && reference.front() == '/') {
    path = reference;
  } else if (reference.empty()) {
    path = split.path;
  } else {
    std::string_view basePath = split.path.substr(0, split.path.find_first_of("?#"));
    std::size_t slash = basePath.rfind('/');
    if (slash != std::string_view::npos)
      path = basePath.substr(0, slash + 1);
    else if (split.hasAuthority)
      path = "/";
    path += reference;
  }
  std::size_t tail = path.find_first_of("?#");
  std::string suffix = tail == std::string::npos ? "" : path.substr(tail);
  if (tail != std::string::npos)
    path.resize(tail);
  return prefix + removeDotSegments(path) + suffix;
}

std::optional<std::string> localPath(std::string_view uri) {
  std::string_view scheme = uriScheme(uri);
  if (scheme.empty()) {
    if (uri.empty() || uri.front() != '/')
      return std::nullopt;
    return std::string(uri);
  }
  if (isNetworkURI(uri))
    return std::nullopt;
  SplitURI split = splitURI(uri);
  if (split.hasAuthority && !split.authority.empty() && split.authority != "localhost")
    return std::nullopt;
  std::string_view path = split.path.substr(0, split.path.find_first_of("?#"));
  if (path.empty() || path.front() != '/')
    return std::nullopt;
  return percentDecode(path);
}

std::string fileURI(std::string_view absolutePath) {
  // A path may hold what a URI reads as escapes, a query or a fragment.
  return "file://" + escapeURI(absolutePath, "%#?");
}

std::string escapeURI(std::string_view text, std::string_view alsoEscaped) {
  static constexpr std::string_view kUnsafe = "\"<>\\^`{|}";
  std::string escaped;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || kUnsafe.find(c) != std::string_view::npos ||
        alsoEscaped.find(c) != std::string_view::npos) {
      appendPercentEscape(escaped, byte);
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace ovra
