// URI references as documents, catalogs and stylesheets use them to name files: telling a
// URI from a path, resolving a reference against a base (RFC 3986 section 5.2), and
// turning file: URIs into paths and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ovra {

// The scheme of a URI ("http", "file"), or empty for a path or a relative reference. A
// one-letter scheme is not taken for one.
std::string_view uriScheme(std::string_view reference);

// Whether the reference names something only a network could deliver: a scheme other
// than file: (http:, https:, ftp:, ...).
bool isNetworkURI(std::string_view reference);

// reference resolved against base (a URI, or an absolute path standing for a file: URI);
// the result is a URI when either has a scheme, else a path. A reference with a scheme is
// taken as it is, except a file: URI with a relative path against a file; "." and ".."
// segments are removed.
std::string resolveURI(std::string_view base, std::string_view reference);

// The local path a file: URI (file:///p, file://localhost/p, file:/p) or an absolute path
// names, with %XX escapes decoded; nothing for other URIs and relative references.
std::optional<std::string> localPath(std::string_view uri);

// The file: URI of an absolute path, with the characters a URI cannot hold escaped.
std::string fileURI(std::string_view absolutePath);

// The value of a hexadecimal digit, or -1 for any other character.
int hexDigitValue(char c);

// Appends byte as a %XX escape (upper-case hexadecimal).
void appendPercentEscape(std::string& out, unsigned char byte);

// text with %XX escapes for the bytes a URI cannot hold (controls, space, non-ASCII, and
// " < > \ ^ ` { | }) and for those in alsoEscaped.
std::string escapeURI(std::string_view text, std::string_view alsoEscaped = {});

}  // namespace ovra
