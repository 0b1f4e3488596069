// How a result is serialized: the stylesheet fills one from its xsl:output elements while
// it compiles, and the Serializer copies it at the start of every run.
#pragma once

#include "base/string.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

namespace ovra {

enum class OutputMethod : std::int32_t {
  Unset = 0,  // decided by the Serializer at the first element
  Xml = 1,    // "xml"
  Html = 2,   // "html"
  Text = 3,   // "text"
};

// Finds take a string_view without building a key.
using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;

// A plain record: copying copies every field, the CDATA section set included.
struct OutputSettings {
  static constexpr std::size_t kCdataSetBuckets = 64;

  OutputSettings() : cdataSectionElements(kCdataSetBuckets) {}

  // expandedName is the namespace name, "/", the local name (Node::expandedName).
  bool isCdataSectionElement(std::string_view expandedName) const {
    return !cdataSectionElements.empty() && cdataSectionElements.count(expandedName) != 0;
  }
  void addCdataSectionElement(std::string_view expandedName) {
    cdataSectionElements.emplace(expandedName);
  }

  OutputMethod method = OutputMethod::Unset;
  String version = "1.0";
  String encoding = "utf-8";  // as given; the declaration repeats it unchanged
  bool omitXmlDeclaration = false;
  bool standalone = false;
  String doctypePublic;
  String doctypeSystem;
  TextSet cdataSectionElements;
  bool indent = false;
  bool indentGiven = false;  // HTML indents unless told otherwise
  String mediaType;          // empty: the method's own (HTML's Content-Type meta says text/html)
};

}  // namespace ovra
