// The expat driver behind a Document: reads the input one buffer-full per parseChunk and
// turns the parser's callbacks into nodes appended to the Document's tree, DTD facts into
// its DtdInfo. It lives while the Document is open and takes everything that only
// reading needs (parser, buffers, namespace scope, whitespace state) with it when the
// document is finished. xml_loader.cpp is the only file that includes expat.h.
#pragma once

#include "base/string.h"
#include "tree/encoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ovra {

class Document;
class DtdInfo;
class ElementNode;
class NamespaceNode;
class NodeArena;
class Node;
class RootNode;
class WhitespaceStripping;

class XmlLoader {
 public:
  // Where the bytes come from: text held in memory, an open stream (not owned, not
  // closed), or else the Document's file, which the loader opens.
  struct Input {
    bool fromMemory = false;
    std::string memory;
    std::FILE* stream = nullptr;
  };

  // Opens the input; throws DocumentParseException "Could not open file, " + name when the
  // file cannot be opened. root is the Document's, already made; stripping, when not
  // null, outlives the loader.
  XmlLoader(Document& document, Input input, RootNode* root, const WhitespaceStripping* stripping);
  XmlLoader(const XmlLoader&) = delete;
  XmlLoader& operator=(const XmlLoader&) = delete;
  ~XmlLoader();

  // Reads and parses one chunk. True while more input remains. A read or parse error
  // throws DocumentParseException with what was read before it in the tree.
  bool parseChunk();
  std::size_t chunksParsed() const { return chunksParsed_; }
  // Inside the parser: callbacks must never navigate into the tree being built.
  bool isParsing() const { return parsing_; }

  // The name and version of the parser ("expat_2.5.0").
  static const char* parserVersion();

 private:
  struct Callbacks;
  class NamespaceScope;
  struct ParserDeleter {
    void operator()(void* parser) const;
  };
  struct FileCloser {
    void operator()(std::FILE* file) const;
  };

  // Fills the read buffer (or points into the text held in memory); answers the start and
  // count of the chunk. Throws when the file cannot be read.
  const char* read(std::size_t& count);
  // Ends the character data gathered so far: makes its text node, or drops it when it is
  // whitespace only and stripping is on.
  void flushText();
  // The file an external entity's system identifier names, when it may be read: a
  // relative or absolute path that stays inside the document's folder.
  bool localEntityPath(const char* systemId, String& path) const;
  // A system identifier as a URI: one with a scheme, or an absolute path, is taken as it
  // is; a relative path is joined to the document's folder.
  String resolveSystemId(std::string_view systemId) const;

  Document& document_;
  NodeArena& arena_;  // the Document's
  DtdInfo& dtd_;      // the Document's
  const String& fileName_;
  std::size_t bufferSize_;
  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<std::FILE, FileCloser> file_;  // a file this loader opened
  std::FILE* stream_ = nullptr;                  // what read() reads: file_, or one not owned
  bool fromMemory_;
  std::string memory_;
  std::size_t memoryOffset_ = 0;
  std::unique_ptr<void, ParserDeleter> parser_;  // an XML_Parser
  InputDecoder decoder_;
  std::size_t chunksParsed_ = 0;
  bool parsing_ = false;
  bool inDoctype_ = false;  // inside <!DOCTYPE ...>, whose comments and PIs are no nodes

  Node* currentParent_;
  // Character data of the text node being read. Its node is made only when the text
  // ends, so navigation never sees a text that is still growing and the text is
  // copied into the arena once, however many pieces the parser delivers.
  std::string pendingText_;
  bool strip_;
  const bool stylesheetRules_;            // no comments or processing instructions in the tree
  const WhitespaceStripping* stripping_;  // not owned; null without rules
  std::vector<NamespaceNode*> pendingNamespaces_;  // declared for the next start tag
  std::vector<ElementNode*> spaceStack_;           // elements at which the strip flag was switched
  // With stripping_: per open element, kStripText and kPreserveInScope bits.
  std::vector<std::uint8_t> spaceModes_;
  std::unique_ptr<NamespaceScope> scope_;  // declarations in scope, for prefixes
};

}  // namespace ovra
