// Test helpers shared by the unit tests and fuzz targets: a tree read from a string, and
// a one-line rendering of a tree that shows every node, its kind and its names.
#pragma once

#include "tree/document.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ovra {

class Node;

// A Document read from text held in memory. The first chunk is parsed at construction
// (so root() exists); the rest is read lazily as navigation asks for it, exactly as
// for a file. Throws DocumentParseException when the first chunk is malformed.
class TestDocument {
 public:
  explicit TestDocument(std::string text, std::size_t bufferSize = Document::kSourceBufferSize,
                        bool strip = false, const char* fileName = "test.xml");

  Node* root() const;
  Document& document() const { return *document_; }
  // The first element in document order whose local name is localName; null if none.
  Node* element(std::string_view localName) const;
  // renderTree of the root.
  std::string render() const;

 private:
  std::unique_ptr<Document> document_;
};

// Renders node and everything below it on one line, navigating (and so parsing) as it
// goes, without recursion:
//   element    <p:name{uri} xmlns:p="uri" p:att{uri}="value">children</p:name>, or
//              <name/> without children; {uri} only for names in a namespace
//   text       "text" (so the boundaries of text nodes show)
//   comment    <!--text-->        processing instruction  <?target data?>
//   attribute  @name="value"      namespace node          xmlns:prefix="uri"
//   root       its children only
std::string renderTree(Node* node);

}  // namespace ovra
