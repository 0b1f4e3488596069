// The expat driver behind a Document: reads the input one buffer-full per parseChunk and
// turns the parser's callbacks into nodes appended to the Document's tree, DTD facts into
// its DtdInfo. It lives while the Document is open and takes everything that only
// reading needs (parser, buffers, namespace scope, whitespace state) with it when the
// document is finished. xml_loader.cpp is the only file that includes expat.h.
#pragma once

#include "base/diagnostics.h"
#include "base/platform.h"
#include "base/settings.h"
#include "base/string.h"
#include "tree/encoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ovra {

class Document;
class DtdInfo;
struct LoadSettings;
class ElementNode;
class NamespaceNode;
class NodeArena;
class Node;
class RootNode;
class WhitespaceStripping;

class XmlLoader {
 public:
  struct LastName {
    StringRef name;         // interned
    std::string_view text;  // its text, empty before the first
  };
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

  // Fills the read buffer (or points into the text held in memory); answers the start and
  // count of the chunk. Throws when the file cannot be read.
  const char* read(std::size_t& count);
  // Ends the character data gathered so far: makes its text node, or drops it when it is
  // whitespace only and stripping is on.
  void flushText();
  // Parses an external entity's file to its end with entityParser (an XML_Parser made for
  // it); false after an error, which fail() or failAt() has recorded.
  bool parseEntity(void* entityParser, const String& path);
  // Records the failure to report, what is wrong and where (the first one stays), and
  // stops the parser.
  void fail(const String& text, const SourceLocation& where = SourceLocation());
  // Records the failure reason, located at the current line and column of the entity
  // being read (the first one recorded stays).
  void recordHere(const String& reason);
  // Stops the parser whose callback runs now, from inside the callback.
  void stop();
  // Reports a warning at the current line of the entity being read.
  void warn(std::string_view text) const;
  // The parser's message for its error, naming an undefined entity, or for a mismatched
  // end tag the tag expected and the tag found.
  String errorText(void* parser) const;
  // For a mismatched end tag: ": expected </b> (to close <b> from line 3), found </a>";
  // empty when not known.
  String mismatchDetails(void* parser) const;

  const LoadSettings& settings_;  // the Document's
  String basePath_;               // the document's full path
  String folder_;                 // its folder, with the final separator
  NodeArena& arena_;              // the Document's
  DtdInfo& dtd_;                  // the Document's
  const String& fileName_;
  std::size_t bufferSize_;
  std::unique_ptr<char[]> buffer_;
  // A file this loader opened is read through its descriptor: a stdio stream would cost
  // a status call and the process-wide lock of stdio's list, which a batch's threads
  // queue for, for each document.
  FileDescriptor file_;
  std::FILE* stream_ = nullptr;  // one not owned (standard input, a caller's stream)
  bool fromMemory_;
  std::string memory_;
  std::size_t memoryOffset_ = 0;
  std::unique_ptr<void, ParserDeleter> parser_;  // an XML_Parser
  InputDecoder decoder_;
  ExternalAccess entityAccess_;  // what this document's DTD and entities may come from
  std::size_t chunksParsed_ = 0;
  bool parsing_ = false;
  bool inDoctype_ = false;        // inside <!DOCTYPE ...>, whose comments and PIs are no nodes
  std::string subsetSystemId_;    // of the DOCTYPE: the external subset's
  bool subsetRequested_ = false;  // the parser has asked for the external subset
  // The parser whose callbacks run now (the document's, or an external entity's), and
  // the file it reads: what messages and warnings name.
  void* currentParser_ = nullptr;
  const String* currentFile_;
  // The failure to report, set when a callback stops the parser: what is wrong, and where
  // (no file when the text names it).
  String failure_;
  SourceLocation failureWhere_;
  // Why a part of the DTD was not read (empty when all of it was): undefined entities are
  // then warnings rather than errors.
  String unreadPart_;
  std::unordered_set<std::string> reportedEntities_;  // undefined ones, warned about once

  Node* currentParent_;
  std::int32_t depth_ = 0;  // of the open elements
  // Character data of the text node being read. Its node is made only when the text
  // ends, so navigation never sees a text that is still growing and the text is
  // copied into the arena once, however many pieces the parser delivers.
  std::string pendingText_;
  bool strip_ = false;  // whitespace-only text in the open element goes
  const bool stylesheetRules_;            // no comments or processing instructions in the tree
  const WhitespaceStripping* stripping_;  // not owned; null without rules
  std::vector<NamespaceNode*> pendingNamespaces_;  // declared for the next start tag
  // With stripping_: per open element, kStripText and kPreserveInScope bits.
  std::vector<std::uint8_t> spaceModes_;
  std::unique_ptr<NamespaceScope> scope_;  // declarations in scope, for prefixes
  LastName lastNamespaceURI_;  // of the name read last: names repeat it
};

}  // namespace ovra
