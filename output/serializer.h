// The result writer: turns node events and character data into XML, HTML or plain text
// on a stdio stream (or another Output), in the encoding the output settings name.
#pragma once

#include "base/output.h"
#include "base/string.h"
#include "output/encoder.h"
#include "output/output_settings.h"
#include "tree/node.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace ovra {

class Node;

// One per job: the driver makes it, every run of the job writes through it, and it
// writes what it still buffers when destroyed. Two ways in:
//  - node events: startNode(node) answers a flag that endNode takes back once the node's
//    attributes and children have been started and ended in between; copyNode writes a
//    whole subtree;
//  - the Output interface: character data, escaped as the current state requires.
// Start tags are closed lazily, so attributes may follow their element's startNode until
// the first content arrives. Nodes handed in must live until their endNode.
class Serializer : public Output {
 public:
  static constexpr std::size_t kBufferSize = 4096;

  // stream is not owned and must stay open until the Serializer is destroyed.
  explicit Serializer(std::FILE* stream);
  // Writes the encoded bytes to sink instead (in-memory results, tests); not owned, same
  // lifetime rule.
  explicit Serializer(Output& sink);
  ~Serializer() override;  // writes what is buffered; failures are ignored

  // Replaced at the start of every run; the encoding takes effect with the first byte
  // written and stays for the life of the Serializer.
  const OutputSettings& settings() const { return settings_; }
  OutputSettings& settings() { return settings_; }

  // Returns 1 when endNode has nothing to close (every kind but an element, and anything
  // under the text method), 0 after an element's start. May throw StylesheetException
  // when a name cannot be written in the output encoding.
  std::uint8_t startNode(Node* node);
  void endNode(std::uint8_t flag);
  // The node with its attributes, namespaces and all descendants; never recurses.
  void copyNode(Node* node);
  // A result document begins: from here until endDocument, what comes before the first
  // element is held back while the output method is undecided (XSLT 1.0 section 16: the
  // first element decides it, and the XML declaration must come first). Without these
  // calls (XPath results) everything is written as it comes.
  void startDocument() { holding_ = true; }
  // What is still held back is written now, as XML.
  void endDocument();

  // Character data: escaped, unless escaping is disabled, the text method is in use, the
  // text is in an HTML script or style element, or it goes into a CDATA section.
  void write(const char* text, std::size_t length) override;
  using Output::write;
  // Hands everything buffered to the stream or sink.
  void flush() override;
  // The errno of the first write to the stream that failed, or 0. Writing goes on
  // regardless; whoever owns the stream decides what a failure means.
  int writeError() const { return writeError_; }

  // Whether an attribute started now goes into a start tag: an element is open and has
  // no content yet. The text method takes (and drops) anything.
  bool acceptsAttribute() const {
    return method() == OutputMethod::Text ||
           (!elements_.empty() && !elements_.back().startTagClosed);
  }

  // disable-output-escaping; returns the previous state.
  bool setDisableOutputEscaping(bool disable) {
    bool previous = noEscape_;
    noEscape_ = disable;
    return previous;
  }

 private:
  // What to do with a character the output encoding cannot represent.
  enum class Context {
    Text = 0,     // content, attribute values: a character reference
    Cdata = 1,    // inside a CDATA section: end it, a character reference, start another
    Plain = 2,    // the text method has no references: OutputException
    Name = 3,     // names cannot hold a reference: StylesheetException at nameNode_
    Drop = 4,     // the replacement itself: left out
    Comment = 5,  // a comment holds no references: OutputException
    Data = 6,     // nor does a processing instruction: OutputException
  };

  // A namespace declaration written on an element that is still open.
  struct Binding {
    StringRef prefix;
    StringRef uri;
    bool excluded = false;  // in scope, but not to be declared (exclude-result-prefixes)
  };

  // An attribute of the start tag still open, written when the tag is closed, so that a
  // later attribute of the same expanded name can take its place. The value is copied
  // into attributeValues_: the node handed in may be a temporary.
  struct PendingAttribute {
    StringRef uri;
    StringRef prefix;  // as it will be written
    StringRef localName;
    std::size_t valueStart;
    std::size_t valueLength;
  };

  struct OpenElement {
    Node* node;
    StringRef prefix;  // as written, which need not be the node's own
    StringRef localName;
    std::size_t bindingMark;  // size of bindings_ before this element's declarations
    bool startTagClosed;
    bool cdata;     // its text goes into CDATA sections
    bool html;      // written by the HTML rules: the html method, in no namespace
    bool htmlVoid;  // an HTML element without end tag
    bool rawText;   // an HTML script or style element
    bool head;      // an HTML head in an html element: a Content-Type meta starts its content
    // An HTML meta in such a head, not written until its attributes show whether it is a
    // Content-Type of its own (then it is left out: the head has one already).
    bool deferred;
    bool suppressed;
    bool xhtml;  // in the XHTML namespace of an XHTML 1.0 document
    // Indentation. The children written so far, and whether the last was text.
    std::uint32_t children;
    bool lastText;
    // XML: slots go before its children (it and every ancestor hold no text so far), from
    // the slot of this number on.
    bool formats;
    std::uint64_t firstSlot;
    // HTML: what the element's kind says (xsltproc's rules, by libxml2's table of HTML
    // elements): known, inline, a name starting with a lower-case p; and the slot after
    // its start tag while undecided.
    bool htmlKnown;
    bool htmlInline;
    bool pName;
    std::uint64_t afterStart;
    // All its in-scope namespaces are declared in the output, so a child needs to look
    // at its own namespace nodes only.
    bool scopeComplete;
  };

  OutputMethod method() const {
    return settings_.method != OutputMethod::Unset ? settings_.method : decidedMethod_;
  }

  bool holdsBack() const {
    return holding_ && !declarationDone_ && settings_.method == OutputMethod::Unset;
  }
  void holdBack(NodeKind kind, std::string_view text, std::string_view target = {});
  void writeHeld();

  std::uint8_t startElement(Node* element);
  std::uint8_t startAttribute(Node* attribute);
  std::uint8_t startNamespace(Node* node);
  void writeComment(std::string_view text);
  void writeProcessingInstruction(Node* node, std::string_view target, std::string_view data);
  void startContent();
  void writePrologue();
  // element is null for HTML, whose document type is always "html".
  void writeDoctype(Node* element, StringRef prefix);
  void closeStartTag();
  void writeAttributes();
  void writeXhtmlAttributes(const OpenElement& element);
  // The end of an open start tag, with what HTML adds after it.
  void endStartTag(OpenElement& element);
  // A comment node: indentation noted, then written.
  void writeCommentNode(std::string_view text);
  // For a deferred meta: whether it is left out; otherwise its start is written now.
  bool resolveDeferred(OpenElement& element);
  void writeContentTypeMeta(const OpenElement& head);
  // The document type is XHTML 1.0 (by its public or system identifier).
  bool isXhtmlDocument() const;

  // Indentation (indent="yes", and HTML by default) is written into slots: white space
  // whose place is known before it is known whether it stays. An XML element's children
  // are indented only when it, and each of its ancestors, holds no text (as xsltproc
  // does), which is known when the document element ends; HTML waits for one more child
  // at most. While a slot is open the bytes after it wait in memory.
  static constexpr std::uint64_t kNoSlot = ~std::uint64_t{0};
  enum class SlotState : std::uint8_t { Open = 0, Keep = 1, Drop = 2 };
  struct Slot {
    std::uint64_t offset;  // in heldBytes_, counted from heldBase_
    std::uint64_t length;
    SlotState state;
  };
  bool indents() const;
  // Called before a node is written in parent (null: at top level).
  void noteChild(NodeKind kind, OpenElement* parent) {
    wroteNode_ = true;
    if (indenting_)
      noteIndentedChild(kind, parent);
  }
  void noteIndentedChild(NodeKind kind, OpenElement* parent);
  void noteEnd(OpenElement& element);
  void noteEnded(bool htmlBlock);
  std::uint64_t openSlot(std::string_view text);
  void decideSlot(std::uint64_t id, bool keep);
  void decideSlotsFrom(std::uint64_t id, bool keep);
  void releaseSlots();
  void writeIndent(std::size_t depth, bool slot);
  void putDirect(const char* bytes, std::size_t length);

  // Namespace bookkeeping for the element being started (fills scope_ and pending_).
  void collectScope(const Node* element, bool ownOnly);
  StringRef chooseElementPrefix(StringRef uri, StringRef prefix);
  bool collectDeclarations(StringRef uri, StringRef prefix);
  const Binding* findBinding(std::string_view prefix) const;
  bool isBound(std::string_view prefix, std::string_view uri) const;
  StringRef findPrefixFor(std::string_view uri) const;
  StringRef makePrefix();
  void writeDeclaration(const Binding& binding, const Node* node);

  // Text in its three forms.
  void writeContent(const char* text, std::size_t length);
  enum class Escape {
    Content = 0,        // character data
    Attribute = 1,      // an attribute value or a namespace name in double quotes
    HtmlAttribute = 2,  // an attribute of an HTML element: "<", ">" and "&{" stay as they are
    HtmlContent = 3,    // character data of an HTML element: quotes stay as they are
  };
  void writeEscaped(const char* text, std::size_t length, Escape escape);
  void writeCdata(const char* text, std::size_t length);
  void writeRaw(const char* text, std::size_t length);

  // The byte pipeline: UTF-8 in, encoded bytes into the buffer.
  void writeMarkup(std::string_view text);
  void writeName(std::string_view name, const Node* node);
  void writeQName(StringRef prefix, StringRef localName, const Node* node);
  void emit(const char* text, std::size_t length, Context context);
  void emitConverted(const char* text, std::size_t length, Context context);
  void emitReplacement(char32_t character, Context context);
  void chooseEncoding();
  void putBytes(const char* bytes, std::size_t length) {
    if (!slots_.empty()) {
      heldBytes_.append(bytes, length);
    } else if (length < kBufferSize - fill_) {
      std::memcpy(buffer_.get() + fill_, bytes, length);
      fill_ += length;
    } else {
      putDirect(bytes, length);
    }
  }

  void writeBuffer();

  OutputSettings settings_;
  std::FILE* stream_ = nullptr;  // not owned
  Output* sink_ = nullptr;       // not owned; used when stream_ is null
  int writeError_ = 0;
  std::unique_ptr<char[]> buffer_;
  std::size_t fill_ = 0;

  enum class EncodingState { Undecided = 0, Utf8 = 1, Converted = 2 };
  EncodingState encodingState_ = EncodingState::Undecided;
  Encoder encoder_;
  const Node* nameNode_ = nullptr;  // the node whose name is being written

  bool declarationDone_ = false;  // the XML declaration, or HTML's document type, is out
  bool doctypePending_ = false;   // XML's document type waits for the first element
  bool noEscape_ = false;
  OutputMethod decidedMethod_ = OutputMethod::Unset;  // when the settings leave it unset
  int rawTextDepth_ = 0;                              // open HTML script and style elements
  int closingBrackets_ = 0;  // ']' ending the escaped text so far, to break up "]]>"
  unsigned generatedPrefixes_ = 0;

  std::vector<OpenElement> elements_;
  std::vector<Binding> bindings_;             // declarations of the open elements, outermost first
  std::vector<PendingAttribute> attributes_;  // of the innermost open start tag
  std::string attributeValues_;

  // Scratch space reused from element to element.
  std::vector<Binding> scope_;
  std::vector<Binding> pending_;
  std::string key_;
  std::vector<std::pair<Node*, std::uint8_t>> copyStack_;

  // Text (kind Text, escaping as it was asked for), comments and processing instructions
  // written before the first element while the method is undecided.
  struct Held {
    NodeKind kind;
    bool noEscape;
    std::string text;
    std::string target;
  };
  std::vector<Held> held_;
  bool heldText_ = false;  // held text holds more than white space
  bool holding_ = false;   // between startDocument and endDocument

  std::deque<Slot> slots_;
  std::uint64_t firstSlotId_ = 0;     // the number of slots_.front()
  std::string heldBytes_;             // the bytes from the first open slot on
  std::uint64_t heldBase_ = 0;        // how many bytes went through heldBytes_ before it
  std::size_t heldDone_ = 0;          // the bytes at the front of heldBytes_ already handed on
  std::uint64_t afterEnd_ = kNoSlot;  // HTML: after the end tag of the last child ended
  std::uint64_t topSlot_ = kNoSlot;   // XML: after a comment at top level
  bool wroteNode_ = false;            // the document has some node written
  bool indenting_ = false;            // indents(), once the method is known
};

}  // namespace ovra
