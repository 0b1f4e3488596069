// One XML input read into a lazily built node tree: each parseChunk reads one buffer-full
// and lets the loader (xml_loader.h) append the nodes it holds. The Document owns the
// tree, the facts of its DTD, and the loader while it reads.
#pragma once

#include "base/string.h"
#include "tree/dtd.h"
#include "tree/node_arena.h"
#include "tree/resources.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace ovra {

class Node;
class RootNode;
class XmlLoader;

// Which elements of a document lose their whitespace-only text children: for a source
// its stylesheet's xsl:strip-space and xsl:preserve-space, for a stylesheet the rule of
// stylesheets; the XSLT layer implements both above. xml:space="preserve" in the document
// overrides it.
class WhitespaceStripping {
 public:
  WhitespaceStripping() = default;
  WhitespaceStripping(const WhitespaceStripping&) = delete;
  WhitespaceStripping& operator=(const WhitespaceStripping&) = delete;
  virtual ~WhitespaceStripping();
  virtual bool strips(StringRef namespaceURI, StringRef localName) const = 0;
};

class Document {
 public:
  static constexpr std::size_t kSourceBufferSize = 65536;
  static constexpr std::size_t kRegistryBufferSize = 4096;
  static constexpr std::size_t kStylesheetBufferSize = 61440;

  enum class State { NotOpened = 0, Open = 1, Finished = 2 };

  // Records the values; nothing is opened or parsed yet. With strip set the document is
  // read as a stylesheet: comments and processing instructions are left out, so the text
  // around them is one text node (whitespace is stripped as setStripping says).
  Document(String fileName, std::size_t bufferSize, bool strip);
  // Reads text held in memory instead of a file (tests, fuzzing); fileName names it in
  // messages and resolves relative references.
  static std::unique_ptr<Document> fromText(std::string text, String fileName,
                                            std::size_t bufferSize, bool strip);
  // Reads an open stream (standard input) one buffer-full per chunk, as a file is read.
  // The stream is not owned and must stay open while the Document reads; it is not
  // closed. name stands for the file name: it names the input in messages and resolves
  // relative references (a name without a directory part: the current directory).
  static std::unique_ptr<Document> fromStream(std::FILE* stream, String name,
                                              std::size_t bufferSize, bool strip);
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  ~Document();

  // Reads and parses one chunk. True while more input remains; false once the last chunk
  // has been parsed (or the document was already finished). The first call opens the
  // input and may throw DocumentParseException ("Could not open file, " + name); a
  // malformed chunk throws "%s at %d of %s" after releasing the parser and the input.
  bool parseChunk();
  // Parses everything that is left.
  void parseAll();

  // Opens the input and makes the root, parsing nothing yet (parseChunk does this on its
  // first call). Throws DocumentParseException ("Could not open file, " + name).
  void open();

  // Strips whitespace-only text by rules while the document is built (when it is not
  // opened yet). rules, when not null, outlive the parsing.
  void setStripping(const WhitespaceStripping* rules);

  // What the document may read besides itself, and how; LoadSettings::defaults() unless
  // set before the document is opened (text held in memory reads no external entities
  // unless set). Documents that document() opens from this one
  // inherit them.
  void setSettings(std::shared_ptr<const LoadSettings> settings);
  const LoadSettings& settings() const { return *settings_; }
  const std::shared_ptr<const LoadSettings>& sharedSettings() const { return settings_; }

  // The root node; exists from the first parseChunk on (null before).
  RootNode* root() const { return root_; }
  bool isFinished() const { return state_ == State::Finished; }
  // How many times parseChunk has handed input to the parser (tests prove laziness).
  std::size_t chunksParsed() const;
  State state() const { return state_; }
  const String& fileName() const { return fileName_; }
  // What references in the document resolve against: the full path of the file, or the
  // file name itself when it is a URI (a stylesheet named by its http: URI, found through
  // the catalogs).
  String baseURI() const;
  std::size_t bufferSize() const { return bufferSize_; }
  // Read as a stylesheet (the strip flag of the constructor).
  bool readsStylesheet() const { return stylesheetRules_; }
  NodeArena& arena() { return arena_; }
  DtdInfo& dtd() { return dtd_; }

  // The element with an attribute of that value among the attributes the internal DTD
  // subset declares of type ID: the first in document order, or null when there is none.
  // Reads on only as far as the element, or to the end when no element has the value.
  Node* elementById(std::string_view value);
  // The URI of the unparsed entity of that name the DTD declares, resolved against this
  // document's location; null when no such entity is declared.
  const String* unparsedEntityURI(std::string_view name) const;

  // The name and version of the XML parser linked in, as it reports them
  // ("expat_2.5.0").
  static const char* parserVersion();

 private:
  // The verbose report of what is read from where.
  void reportLoading() const;
  // Releases the loader with its parser, buffers and input; state becomes Finished.
  void close();

  NodeArena arena_;
  State state_ = State::NotOpened;
  String fileName_;
  std::size_t bufferSize_;
  const bool stylesheetRules_;  // no comments or processing instructions in the tree
  // What the loader is to read until it is made: text held in memory or an open stream.
  bool fromMemory_ = false;
  std::string memory_;
  std::FILE* stream_ = nullptr;        // not owned
  std::unique_ptr<XmlLoader> loader_;  // while open
  std::size_t chunksParsed_ = 0;       // of the loader, once it is gone
  RootNode* root_ = nullptr;
  const WhitespaceStripping* stripping_ = nullptr;
  DtdInfo dtd_;
  std::shared_ptr<const LoadSettings> settings_;
};

}  // namespace ovra
