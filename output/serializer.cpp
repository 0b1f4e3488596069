#include "output/serializer.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/uri.h"

#include <array>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace ovra {

namespace {

constexpr const char* kUnwritableNameCharacter =
    "Character U+%04X of a name cannot be written in output encoding %s";
// XSLT 1.0 sections 16.1 and 16.3: these have no character references.
constexpr const char* kUnwritableCharacter =
    "Character U+%04X of %s cannot be written in output encoding %s";

constexpr std::string_view kCdataStart = "<![CDATA[";
constexpr std::string_view kXhtmlNamespace = "http://www.w3.org/1999/xhtml";
constexpr std::string_view kCdataEnd = "]]>";

char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lowerName) {
  if (text.size() != lowerName.size())
    return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (asciiLower(text[i]) != lowerName[i])
      return false;
  }
  return true;
}

// The HTML rules apply only to elements in no namespace.
bool isHtmlElementNamed(const Node* element, std::string_view lowerName) {
  return element->namespaceURI().empty() &&
         equalsIgnoringCase(element->localName().view(), lowerName);
}

// HTML attributes that have only one value, their own name: written minimised (XSLT 1.0
// section 16.2), whatever value the result gave them, since only their presence counts
// (Ant's nowrap="yes", as xsltproc writes it).
bool isHtmlBooleanAttribute(std::string_view name) {
  static const TextSet names = {"checked", "compact",  "declare", "defer",    "disabled",
                                "ismap",   "multiple", "nohref",  "noresize", "noshade",
                                "nowrap",  "readonly", "selected"};
  if (name.size() > 8)
    return false;
  char lowered[8];
  for (std::size_t i = 0; i < name.size(); ++i)
    lowered[i] = asciiLower(name[i]);
  return names.count(std::string_view(lowered, name.size())) != 0;
}

// What the HTML method knows of an element, by its name in any case: libxml2's table of
// HTML elements, whose newlines xsltproc's indentation follows (others get none), the
// ones of those written inline, the elements without end tag and those whose text is not
// escaped.
constexpr std::uint8_t kKnownHtml = 1;
constexpr std::uint8_t kInlineHtml = 2;
constexpr std::uint8_t kVoidHtml = 4;
constexpr std::uint8_t kRawTextHtml = 8;

std::uint8_t htmlElementKind(std::string_view name) {
  static const std::unordered_map<std::string_view, std::uint8_t, TextHash> kinds = [] {
    std::unordered_map<std::string_view, std::uint8_t, TextHash> table;
    for (std::string_view known :
         {"address",  "area",     "base",   "blockquote", "body",  "caption",  "center",
          "col",      "colgroup", "dd",     "dir",        "div",   "dl",       "dt",
          "fieldset", "form",     "frame",  "frameset",   "h1",    "h2",       "h3",
          "h4",       "h5",       "h6",     "head",       "hr",    "html",     "isindex",
          "legend",   "li",       "link",   "menu",       "meta",  "noframes", "noscript",
          "ol",       "optgroup", "option", "p",          "param", "pre",      "style",
          "table",    "tbody",    "td",     "tfoot",      "th",    "thead",    "title",
          "tr",       "ul"})
      table.emplace(known, kKnownHtml);
    for (std::string_view inlined :
         {"a",      "abbr",   "acronym", "applet", "b",        "basefont", "bdo",   "big",
          "br",     "button", "cite",    "code",   "del",      "dfn",      "em",    "font",
          "i",      "iframe", "img",     "input",  "ins",      "kbd",      "label", "map",
          "object", "q",      "s",       "samp",   "script",   "select",   "small", "span",
          "strike", "strong", "sub",     "sup",    "textarea", "tt",       "u",     "var"})
      table.emplace(inlined, kKnownHtml | kInlineHtml);
    for (std::string_view empty : {"area", "base", "basefont", "br", "col", "frame", "hr", "img",
                                   "input", "isindex", "link", "meta", "param"})
      table[empty] |= kVoidHtml;
    table["script"] |= kRawTextHtml;
    table["style"] |= kRawTextHtml;
    return table;
  }();
  char lower[16];
  if (name.size() > sizeof lower)
    return 0;
  for (std::size_t i = 0; i < name.size(); ++i)
    lower[i] = asciiLower(name[i]);
  auto it = kinds.find(std::string_view(lower, name.size()));
  return it == kinds.end() ? 0 : it->second;
}

// HTML 4.01 attributes whose values are URIs, and a's name, which fragment identifiers
// in those refer to: their non-ASCII characters are written %-escaped (XSLT 1.0 section
// 16.2, HTML 4.01 section B.2.1).
bool isHtmlUriAttribute(std::string_view element, std::string_view name) {
  static const TextSet names = {"action", "archive", "background", "cite",    "classid", "codebase",
                                "data",   "href",    "longdesc",   "profile", "src",     "usemap"};
  char lowered[10];
  if (name.size() > sizeof lowered)
    return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    lowered[i] = asciiLower(name[i]);
  std::string_view lower(lowered, name.size());
  return names.count(lower) != 0 || (lower == "name" && equalsIgnoringCase(element, "a"));
}

// The UTF-8 bytes of non-ASCII characters as %HH.
std::string escapeUriBytes(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size() + 16);
  for (char c : value) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80)
      escaped += c;
    else
      appendPercentEscape(escaped, byte);
  }
  return escaped;
}

// Prefixes that are never declared: "xml" is bound from the start, "xmlns" never.
bool isReservedPrefix(std::string_view prefix) {
  return prefix == "xml" || prefix == "xmlns";
}

}  // namespace

Serializer::Serializer(std::FILE* stream)
    : stream_(stream), buffer_(std::make_unique<char[]>(kBufferSize)) {}

Serializer::Serializer(Output& sink)
    : sink_(&sink), buffer_(std::make_unique<char[]>(kBufferSize)) {}

Serializer::~Serializer() {
  try {
    if (encodingState_ == EncodingState::Converted) {
      // Stateful encodings end their last shift sequence here.
      char scratch[64];
      char* out = scratch;
      std::size_t room = sizeof scratch;
      if (encoder_.finish(out, room))
        putBytes(scratch, std::size_t(out - scratch));
    }
    decideSlotsFrom(firstSlotId_, true);
    writeBuffer();
  } catch (...) {
    // Nothing can be reported from here; what was written stays written.
  }
}

// ---- Node events ----

std::uint8_t Serializer::startNode(Node* node) {
  if (method() == OutputMethod::Text) {
    if (node->kind() == NodeKind::Text) {
      const auto* text = static_cast<const TextNode*>(node);
      emit(text->text(), text->textLength(), Context::Plain);
    }
    return 1;
  }
  switch (node->kind()) {
  case NodeKind::Root:
    closeStartTag();
    return 1;
  case NodeKind::Element:
    return startElement(node);
  case NodeKind::Text: {
    const auto* text = static_cast<const TextNode*>(node);
    if (holdsBack()) {
      bool previous = setDisableOutputEscaping(noEscape_ || text->isEscapingDisabled());
      holdBack(NodeKind::Text, text->textView());
      setDisableOutputEscaping(previous);
      return 1;
    }
    startContent();
    closeStartTag();
    if (text->textLength() != 0)
      noteChild(NodeKind::Text, elements_.empty() ? nullptr : &elements_.back());
    if (text->isEscapingDisabled()) {
      bool previous = setDisableOutputEscaping(true);
      writeContent(text->text(), text->textLength());
      setDisableOutputEscaping(previous);
    } else {
      writeContent(text->text(), text->textLength());
    }
    return 1;
  }
  case NodeKind::Attribute:
    return startAttribute(node);
  case NodeKind::Namespace:
    return startNamespace(node);
  case NodeKind::Comment: {
    if (holdsBack()) {
      holdBack(NodeKind::Comment, static_cast<const CommentNode*>(node)->textView());
      return 1;
    }
    startContent();
    closeStartTag();
    writeCommentNode(static_cast<const CommentNode*>(node)->textView());
    return 1;
  }
  case NodeKind::ProcessingInstruction: {
    const auto* pi = static_cast<const ProcessingInstructionNode*>(node);
    std::string_view target = pi->target() ? pi->target() : "";
    std::string_view data = pi->data() ? pi->data() : "";
    if (holdsBack()) {
      holdBack(NodeKind::ProcessingInstruction, data, target);
      return 1;
    }
    startContent();
    closeStartTag();
    noteChild(NodeKind::ProcessingInstruction, elements_.empty() ? nullptr : &elements_.back());
    writeProcessingInstruction(node, target, data);
    return 1;
  }
  }
  assert(false && "unknown node kind");
  return 1;
}

void Serializer::endNode(std::uint8_t flag) {
  if (flag != 0)
    return;
  assert(!elements_.empty() && "endNode without a started element");
  if (elements_.empty())
    return;
  OpenElement& open = elements_.back();
  if (!open.startTagClosed && resolveDeferred(open)) {
    writeAttributes();
    // HTML has no empty-element tags: only void elements may omit the end tag. A head
    // gets its meta.
    if ((open.html && !open.htmlVoid) || open.head) {
      endStartTag(open);
      open.startTagClosed = true;
    }
  }
  if (open.rawText)
    --rawTextDepth_;
  bindings_.resize(open.bindingMark);
  if (open.suppressed) {
    elements_.pop_back();
    return;
  }
  noteEnd(open);
  if (!open.startTagClosed) {
    writeMarkup(open.htmlVoid ? ">" : "/>");
  } else if (!open.htmlVoid) {
    writeMarkup("</");
    writeQName(open.prefix, open.localName, open.node);
    writeMarkup(">");
  }
  bool htmlBlock = open.htmlKnown && !open.htmlInline;
  elements_.pop_back();
  noteEnded(htmlBlock);
}

void Serializer::copyNode(Node* top) {
  // Preorder walk with an explicit stack: documents may nest deeper than the C stack.
  // The stack is a member so that copies reuse its storage; an exception leaves it as
  // it found it.
  struct Restore {
    std::vector<std::pair<Node*, std::uint8_t>>& stack;
    std::size_t size;
    ~Restore() { stack.resize(size); }
  };
  std::size_t base = copyStack_.size();
  Restore restore{copyStack_, base};
  Node* node = top;
  for (;;) {
    std::uint8_t flag = startNode(node);
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling())
      endNode(startNode(attribute));
    // Namespace nodes write nothing of their own: startElement declared them.
    Node* child = node->firstChild();
    if (child != nullptr) {
      copyStack_.emplace_back(node, flag);
      node = child;
      continue;
    }
    endNode(flag);
    for (;;) {
      if (node == top) {
        assert(copyStack_.size() == base);
        return;
      }
      Node* next = node->nextSibling();
      if (next != nullptr) {
        node = next;
        break;
      }
      auto [parent, parentFlag] = copyStack_.back();
      copyStack_.pop_back();
      endNode(parentFlag);
      node = parent;
    }
  }
}

void Serializer::holdBack(NodeKind kind, std::string_view text, std::string_view target) {
  if (kind == NodeKind::Text) {
    if (text.empty())
      return;
    for (char c : text)
      heldText_ = heldText_ || !isXmlSpace(c);
  }
  held_.push_back(Held{kind, noEscape_, std::string(text), std::string(target)});
}

// Writes what was held back, now that the prologue is out.
void Serializer::writeHeld() {
  std::vector<Held> held = std::move(held_);
  held_.clear();
  heldText_ = false;
  for (const Held& event : held) {
    if (event.kind == NodeKind::Comment) {
      writeCommentNode(event.text);
    } else if (event.kind == NodeKind::ProcessingInstruction) {
      noteChild(event.kind, nullptr);
      writeProcessingInstruction(nullptr, event.target, event.text);
    } else {
      noteChild(event.kind, nullptr);
      bool previous = setDisableOutputEscaping(event.noEscape);
      writeContent(event.text.data(), event.text.size());
      setDisableOutputEscaping(previous);
    }
  }
}

void Serializer::endDocument() {
  if (holdsBack() && !held_.empty()) {
    decidedMethod_ = OutputMethod::Xml;
    writePrologue();
    writeHeld();
  }
  if (topSlot_ != kNoSlot) {
    decideSlot(topSlot_, false);
    topSlot_ = kNoSlot;
  }
  // An indented document ends its last line, as xsltproc's do.
  if (wroteNode_ && indenting_)
    writeMarkup("\n");
  wroteNode_ = false;
  holding_ = false;
}

std::uint8_t Serializer::startElement(Node* element) {
  bool first = !declarationDone_;
  if (first && settings_.method == OutputMethod::Unset) {
    // XSLT 1.0 section 16: html when the first element is html, in no namespace, and no
    // text but white space comes before it.
    decidedMethod_ =
        isHtmlElementNamed(element, "html") && !heldText_ ? OutputMethod::Html : OutputMethod::Xml;
  }
  OutputMethod current = method();
  StringRef uri = element->namespaceURI();
  StringRef localName = element->localName();

  OpenElement entry{};
  entry.node = element;
  entry.localName = localName;
  entry.bindingMark = bindings_.size();
  if (current == OutputMethod::Xml && !settings_.cdataSectionElements.empty()) {
    key_.assign(uri.view());
    key_ += '/';
    key_ += localName.view();
    entry.cdata = settings_.isCdataSectionElement(key_);
  }
  if (current == OutputMethod::Html && uri.empty()) {
    std::uint8_t kind = htmlElementKind(localName.view());
    entry.html = true;
    entry.htmlVoid = (kind & kVoidHtml) != 0;
    entry.rawText = (kind & kRawTextHtml) != 0;
    const OpenElement* parent = elements_.empty() ? nullptr : &elements_.back();
    // The head of the document's html element only, as xsltproc has it.
    entry.head = elements_.size() == 1 && parent->html &&
                 equalsIgnoringCase(parent->localName.view(), "html") &&
                 equalsIgnoringCase(localName.view(), "head");
    entry.deferred =
        parent != nullptr && parent->head && equalsIgnoringCase(localName.view(), "meta");
    entry.htmlKnown = (kind & kKnownHtml) != 0;
    entry.htmlInline = (kind & kInlineHtml) != 0;
    entry.pName = localName.view().front() == 'p';
  }
  if (current == OutputMethod::Xml && uri.view() == kXhtmlNamespace && isXhtmlDocument()) {
    // xsltproc writes a document whose type is XHTML 1.0 as libxml2's XHTML mode does,
    // with a Content-Type meta of its own.
    const OpenElement* parent = elements_.empty() ? nullptr : &elements_.back();
    entry.head = elements_.size() == 1 && parent->node->namespaceURI().view() == kXhtmlNamespace &&
                 parent->localName.view() == "html" && localName.view() == "head";
    entry.deferred = parent != nullptr && parent->head && localName.view() == "meta";
    entry.xhtml = true;
  }
  entry.afterStart = kNoSlot;

  // A child of the element written last sees that element's namespaces declared already.
  bool ownOnly = !elements_.empty() && elements_.back().node == element->parent() &&
                 elements_.back().scopeComplete;
  collectScope(element, ownOnly);
  entry.prefix = chooseElementPrefix(uri, element->prefix());
  entry.scopeComplete = collectDeclarations(uri, entry.prefix);

  if (first) {
    writePrologue();
    writeHeld();
  }
  writeDoctype(element, entry.prefix);
  closeStartTag();
  // A meta that would need declarations is written as it comes.
  entry.deferred = entry.deferred && pending_.empty();
  if (!entry.deferred) {
    noteChild(NodeKind::Element, elements_.empty() ? nullptr : &elements_.back());
    writeMarkup("<");
    writeQName(entry.prefix, localName, element);
  }
  entry.formats = current == OutputMethod::Xml &&
                  (elements_.empty() ? settings_.indent : elements_.back().formats);
  entry.firstSlot = firstSlotId_ + slots_.size();
  for (const Binding& binding : pending_)
    writeDeclaration(binding, element);
  if (entry.rawText)
    ++rawTextDepth_;
  elements_.push_back(entry);
  return 0;
}

std::uint8_t Serializer::startAttribute(Node* attribute) {
  StringRef uri = attribute->namespaceURI();
  StringRef prefix = attribute->prefix();
  StringRef localName = attribute->localName();
  const char* value = static_cast<const AttributeNode*>(attribute)->value();
  std::size_t length = value != nullptr ? std::strlen(value) : 0;
  if (elements_.empty()) {
    // No element open (an attribute result in the XPath mode): written on its own, as it
    // is.
    writeMarkup(" ");
    writeQName(prefix, localName, attribute);
    writeMarkup("=\"");
    writeEscaped(value, length, Escape::Attribute);
    writeMarkup("\"");
    return 1;
  }
  // An attribute after its element's content has begun cannot be written any more.
  if (elements_.back().startTagClosed)
    return 1;
  if (uri.empty()) {
    // "xmlns" would be read back as a namespace declaration.
    if (localName.view() == "xmlns")
      return 1;
    prefix = emptyName();
  } else if (uri.view() == kXmlNamespace) {
    prefix = intern("xml");
  } else if (prefix.empty() || isReservedPrefix(prefix.view()) ||
             (!isBound(prefix.view(), uri.view()) && findBinding(prefix.view()) != nullptr)) {
    // No prefix, or one bound to another namespace name: use a prefix bound to this
    // one, or declare a fresh one. Rebinding the prefix could change the meaning of
    // the element's own name or of its other attributes.
    prefix = findPrefixFor(uri.view());
    if (prefix.empty()) {
      prefix = makePrefix();
      writeDeclaration({prefix, uri}, attribute);
    }
  } else if (!isBound(prefix.view(), uri.view())) {
    writeDeclaration({prefix, uri}, attribute);
  }
  // A later attribute of the same expanded name replaces the earlier one.
  std::size_t start = attributeValues_.size();
  attributeValues_.append(value != nullptr ? value : "", length);
  for (PendingAttribute& earlier : attributes_) {
    if (earlier.localName.view() == localName.view() && earlier.uri.view() == uri.view()) {
      earlier.prefix = prefix;
      earlier.valueStart = start;
      earlier.valueLength = length;
      return 1;
    }
  }
  attributes_.push_back({uri, prefix, localName, start, length});
  return 1;
}

// A namespace node copied on its own (xsl:copy-of select="namespace::p"): declared on the
// element whose start tag is open, unless it is in scope there already or declaring it
// would change the meaning of a name the element uses (its own, or an attribute's). The
// default namespace never goes onto an element written without a prefix.
std::uint8_t Serializer::startNamespace(Node* node) {
  StringRef prefix = node->localName();
  StringRef uri = node->namespaceURI();
  if (elements_.empty()) {
    // No element open (a namespace node result in the XPath mode): written on its own.
    writeDeclaration({prefix, uri}, node);
    bindings_.pop_back();
    return 1;
  }
  const OpenElement& open = elements_.back();
  if (open.startTagClosed || uri.empty() || prefix.view() == "xml")
    return 1;
  const Binding* binding = findBinding(prefix.view());
  if (binding != nullptr && binding->uri == uri && !binding->excluded)
    return 1;
  if (prefix == open.prefix)
    return 1;
  bool ownBinding = binding != nullptr && binding >= bindings_.data() + open.bindingMark;
  if (ownBinding && !(binding->uri == uri))
    return 1;
  for (const PendingAttribute& attribute : attributes_) {
    if (attribute.prefix == prefix)
      return 1;
  }
  writeDeclaration({prefix, uri}, node);
  return 1;
}

// Writes the attributes of the innermost open start tag and forgets them.
void Serializer::writeAttributes() {
  if (attributes_.empty())
    return;
  // Forgotten even when a name cannot be written, so that the next run starts clean.
  struct Clear {
    Serializer& serializer;
    ~Clear() {
      serializer.attributes_.clear();
      serializer.attributeValues_.clear();
    }
  } clear{*this};
  const OpenElement& element = elements_.back();
  for (const PendingAttribute& attribute : attributes_) {
    const char* value = attributeValues_.data() + attribute.valueStart;
    writeMarkup(" ");
    writeQName(attribute.prefix, attribute.localName, element.node);
    if (element.html) {
      std::string_view name = attribute.localName.view();
      std::string_view text(value, attribute.valueLength);
      if (attribute.prefix.empty() && isHtmlBooleanAttribute(name))
        continue;
      writeMarkup("=\"");
      if (attribute.prefix.empty() && isHtmlUriAttribute(element.localName.view(), name)) {
        std::string escaped = escapeUriBytes(text);
        writeEscaped(escaped.data(), escaped.size(), Escape::HtmlAttribute);
      } else {
        writeEscaped(value, attribute.valueLength, Escape::HtmlAttribute);
      }
    } else {
      writeMarkup("=\"");
      writeEscaped(value, attribute.valueLength, Escape::Attribute);
    }
    writeMarkup("\"");
  }
  if (element.xhtml)
    writeXhtmlAttributes(element);
}

// libxml2's XHTML mode, which xsltproc's XHTML 1.0 documents get: an id beside the name
// of the elements that take both, and lang and xml:lang each beside the other.
void Serializer::writeXhtmlAttributes(const OpenElement& element) {
  const PendingAttribute* name = nullptr;
  const PendingAttribute* lang = nullptr;
  const PendingAttribute* xmlLang = nullptr;
  bool hasId = false;
  for (const PendingAttribute& attribute : attributes_) {
    std::string_view local = attribute.localName.view();
    if (attribute.uri.empty()) {
      if (local == "name")
        name = &attribute;
      else if (local == "id")
        hasId = true;
      else if (local == "lang")
        lang = &attribute;
    } else if (attribute.uri.view() == kXmlNamespace && local == "lang") {
      xmlLang = &attribute;
    }
  }
  auto add = [this](std::string_view written, const PendingAttribute& from) {
    writeMarkup(written);
    writeEscaped(attributeValues_.data() + from.valueStart, from.valueLength, Escape::Attribute);
    writeMarkup("\"");
  };
  static const TextSet named = {"a", "p", "div", "img", "map", "applet", "form", "frame", "iframe"};
  if (name != nullptr && !hasId && named.count(element.localName.view()) != 0)
    add(" id=\"", *name);
  if (lang != nullptr && xmlLang == nullptr)
    add(" xml:lang=\"", *lang);
  else if (xmlLang != nullptr && lang == nullptr)
    add(" lang=\"", *xmlLang);
}

void Serializer::writeComment(std::string_view text) {
  writeMarkup("<!--");
  // "--" may not occur inside a comment nor "-" end it: a space goes between.
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '-' && (i + 1 == text.size() || text[i + 1] == '-')) {
      emit(text.data() + start, i + 1 - start, Context::Comment);
      emit(" ", 1, Context::Comment);
      start = i + 1;
    }
  }
  emit(text.data() + start, text.size() - start, Context::Comment);
  writeMarkup("-->");
}

void Serializer::writeProcessingInstruction(Node* node, std::string_view target,
                                            std::string_view data) {
  writeMarkup("<?");
  writeName(target, node);
  writeMarkup(" ");
  // "?>" would end the instruction early.
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == '?' && data[i + 1] == '>') {
      emit(data.data() + start, i + 1 - start, Context::Data);
      emit(" ", 1, Context::Data);
      start = i + 1;
    }
  }
  emit(data.data() + start, data.size() - start, Context::Data);
  // HTML ends a processing instruction at the first ">".
  writeMarkup(method() == OutputMethod::Html ? ">" : "?>");
}

// Comments, processing instructions and text before the first element: when the
// method is known, the prologue goes first, so that the XML declaration starts the
// output. (An undecided method waits for the first element, which decides it.)
void Serializer::startContent() {
  if (!declarationDone_ && settings_.method != OutputMethod::Unset)
    writePrologue();
}

void Serializer::writePrologue() {
  OutputMethod current = method();
  indenting_ = indents();
  if (current == OutputMethod::Xml && !settings_.omitXmlDeclaration) {
    writeMarkup("<?xml version=\"");
    writeMarkup(settings_.version.view());
    writeMarkup("\" encoding=\"");
    writeMarkup(settings_.encoding.view());
    writeMarkup("\"");
    if (settings_.standalone)
      writeMarkup(" standalone=\"yes\"");
    writeMarkup("?>\n");
  }
  // XML needs a system identifier for a document type declaration, and names the first
  // element in it; HTML may give the public identifier alone, and its type is "html".
  if (current == OutputMethod::Html)
    doctypePending_ = !settings_.doctypeSystem.empty() || !settings_.doctypePublic.empty();
  else
    doctypePending_ = current == OutputMethod::Xml && !settings_.doctypeSystem.empty();
  declarationDone_ = true;
  if (current == OutputMethod::Html)
    writeDoctype(nullptr, emptyName());
}

void Serializer::writeDoctype(Node* element, StringRef prefix) {
  if (!doctypePending_)
    return;
  doctypePending_ = false;
  // A literal holding a double quote is put in single quotes instead.
  auto writeLiteral = [this](const String& literal) {
    const char* quote = std::strchr(literal.c_str(), '"') ? "'" : "\"";
    writeMarkup(quote);
    writeMarkup(literal.view());
    writeMarkup(quote);
  };
  writeMarkup("<!DOCTYPE ");
  // HTML5's form for tools that cannot write a document type without an identifier:
  // xsltproc writes what it stands for.
  if (element == nullptr && settings_.doctypePublic.empty() &&
      settings_.doctypeSystem.view() == "about:legacy-compat") {
    writeMarkup("html>\n");
    return;
  }
  if (element == nullptr)
    writeMarkup("html");
  else
    writeQName(prefix, element->localName(), element);
  if (!settings_.doctypePublic.empty()) {
    writeMarkup(" PUBLIC ");
    writeLiteral(settings_.doctypePublic);
    if (!settings_.doctypeSystem.empty())
      writeMarkup(" ");
  } else {
    writeMarkup(" SYSTEM ");
  }
  if (!settings_.doctypeSystem.empty())
    writeLiteral(settings_.doctypeSystem);
  writeMarkup(">\n");
}

void Serializer::closeStartTag() {
  if (!elements_.empty() && !elements_.back().startTagClosed) {
    OpenElement& element = elements_.back();
    element.startTagClosed = true;
    if (!resolveDeferred(element))
      return;
    writeAttributes();
    endStartTag(element);
  }
}

void Serializer::endStartTag(OpenElement& element) {
  writeMarkup(">");
  if (element.htmlKnown && !element.htmlInline && !element.pName && indenting_)
    element.afterStart = openSlot("\n");
  if (element.head) {
    noteChild(NodeKind::Element, &element);
    writeContentTypeMeta(element);
    // The meta has ended: what follows it is decided as after any element.
    if (indenting_ && element.html)
      afterEnd_ = openSlot("\n");
  }
}

bool Serializer::isXhtmlDocument() const {
  static constexpr std::string_view kPublic[] = {"-//W3C//DTD XHTML 1.0 Strict//EN",
                                                 "-//W3C//DTD XHTML 1.0 Transitional//EN",
                                                 "-//W3C//DTD XHTML 1.0 Frameset//EN"};
  static constexpr std::string_view kSystem[] = {
      "http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd",
      "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd",
      "http://www.w3.org/TR/xhtml1/DTD/xhtml1-frameset.dtd"};
  for (std::size_t i = 0; i < 3; ++i) {
    if (settings_.doctypePublic.view() == kPublic[i] ||
        settings_.doctypeSystem.view() == kSystem[i])
      return true;
  }
  return false;
}

// XSLT 1.0 section 16.2: the head of an HTML document starts with a meta element giving
// the media type and the encoding actually used (an XHTML head one in its own namespace).
void Serializer::writeContentTypeMeta(const OpenElement& head) {
  writeMarkup("<");
  if (!head.html && !head.prefix.empty()) {
    writeName(head.prefix.view(), head.node);
    writeMarkup(":");
  }
  writeMarkup("meta http-equiv=\"Content-Type\" content=\"");
  Escape escape = head.html ? Escape::HtmlAttribute : Escape::Attribute;
  writeEscaped(settings_.mediaType.empty() ? "text/html" : settings_.mediaType.c_str(),
               settings_.mediaType.empty() ? 9 : settings_.mediaType.view().size(), escape);
  writeMarkup("; charset=");
  writeEscaped(settings_.encoding.c_str(), settings_.encoding.view().size(), escape);
  writeMarkup(head.html ? "\">" : "\"/>");
}

bool Serializer::resolveDeferred(OpenElement& element) {
  if (!element.deferred)
    return true;
  element.deferred = false;
  for (const PendingAttribute& attribute : attributes_) {
    std::string_view value(attributeValues_.data() + attribute.valueStart, attribute.valueLength);
    if (attribute.uri.empty() && equalsIgnoringCase(attribute.localName.view(), "http-equiv") &&
        equalsIgnoringCase(value, "content-type")) {
      element.suppressed = true;
      attributes_.clear();
      attributeValues_.clear();
      return false;
    }
  }
  noteChild(NodeKind::Element, &elements_[elements_.size() - 2]);
  writeMarkup("<");
  writeQName(element.prefix, element.localName, element.node);
  return true;
}

// ---- Indentation ----

bool Serializer::indents() const {
  switch (method()) {
  case OutputMethod::Xml:
    return settings_.indent;
  case OutputMethod::Html:
    return settings_.indentGiven ? settings_.indent : true;
  case OutputMethod::Unset:
  case OutputMethod::Text:
    return false;
  }
  return false;
}

void Serializer::writeCommentNode(std::string_view text) {
  noteChild(NodeKind::Comment, elements_.empty() ? nullptr : &elements_.back());
  writeComment(text);
  // xsltproc ends a line after a comment at top level that something follows.
  if (elements_.empty() && method() == OutputMethod::Xml && settings_.indent)
    topSlot_ = openSlot("\n");
}

void Serializer::noteIndentedChild(NodeKind kind, OpenElement* parent) {
  bool text = kind == NodeKind::Text;
  if (parent == nullptr) {
    if (topSlot_ != kNoSlot) {
      decideSlot(topSlot_, true);
      topSlot_ = kNoSlot;
    }
    return;
  }
  // HTML: a newline after the previous child's end tag unless text follows it; after the
  // start tag when the first child is no text and a second one comes.
  if (afterEnd_ != kNoSlot) {
    decideSlot(afterEnd_, !text);
    afterEnd_ = kNoSlot;
  }
  ++parent->children;
  parent->lastText = text;
  if (parent->afterStart != kNoSlot && (parent->children == 2 || text)) {
    decideSlot(parent->afterStart, parent->children == 2);
    parent->afterStart = kNoSlot;
  }
  // XML: text makes the element mixed content, which is written as it is, all of it.
  if (parent->formats) {
    if (text) {
      parent->formats = false;
      decideSlotsFrom(parent->firstSlot, false);
    } else {
      writeIndent(std::size_t(parent - elements_.data()) + 1, true);
    }
  }
}

// Before the end of element's start or end tag.
void Serializer::noteEnd(OpenElement& element) {
  if (!indenting_)
    return;
  if (afterEnd_ != kNoSlot) {
    decideSlot(afterEnd_, false);
    afterEnd_ = kNoSlot;
  }
  if (element.afterStart != kNoSlot) {
    decideSlot(element.afterStart, false);
    element.afterStart = kNoSlot;
  }
  if (element.formats && element.children > 0)
    writeIndent(std::size_t(&element - elements_.data()), true);
  if (element.htmlKnown && !element.htmlInline && !element.pName && element.children >= 2 &&
      !element.lastText)
    writeMarkup("\n");
}

// After the end of an element, which is no longer open; htmlBlock: it is an HTML element
// not written inline.
void Serializer::noteEnded(bool htmlBlock) {
  if (!indenting_)
    return;
  if (elements_.empty()) {
    // Nothing can make the document element mixed content: its indentation stands.
    decideSlotsFrom(firstSlotId_, true);
    return;
  }
  if (htmlBlock && elements_.back().localName.view().front() != 'p')
    afterEnd_ = openSlot("\n");
}

void Serializer::writeIndent(std::size_t depth, bool slot) {
  // As xsltproc: two spaces a level, at most 60.
  static constexpr std::string_view kIndent =
      "\n                                                            ";
  std::string_view text = kIndent.substr(0, 1 + 2 * std::min<std::size_t>(depth, 30));
  if (slot)
    openSlot(text);
  else
    writeMarkup(text);
}

std::uint64_t Serializer::openSlot(std::string_view text) {
  std::uint64_t id = firstSlotId_ + slots_.size();
  std::uint64_t offset = heldBase_ + heldBytes_.size();
  slots_.push_back(Slot{offset, 0, SlotState::Open});
  writeMarkup(text);
  slots_[std::size_t(id - firstSlotId_)].length = heldBase_ + heldBytes_.size() - offset;
  return id;
}

void Serializer::decideSlot(std::uint64_t id, bool keep) {
  if (id < firstSlotId_ || id - firstSlotId_ >= slots_.size())
    return;
  Slot& slot = slots_[std::size_t(id - firstSlotId_)];
  if (slot.state == SlotState::Open)
    slot.state = keep ? SlotState::Keep : SlotState::Drop;
  releaseSlots();
}

void Serializer::decideSlotsFrom(std::uint64_t id, bool keep) {
  for (std::size_t i = id > firstSlotId_ ? std::size_t(id - firstSlotId_) : 0; i < slots_.size();
       ++i) {
    if (slots_[i].state == SlotState::Open)
      slots_[i].state = keep ? SlotState::Keep : SlotState::Drop;
  }
  releaseSlots();
}

// Hands on the bytes before the first open slot, with the decided slots among them.
void Serializer::releaseSlots() {
  std::size_t done = heldDone_;
  while (!slots_.empty() && slots_.front().state != SlotState::Open) {
    const Slot& slot = slots_.front();
    auto at = std::size_t(slot.offset - heldBase_);
    putDirect(heldBytes_.data() + done, at - done);
    if (slot.state == SlotState::Keep)
      putDirect(heldBytes_.data() + at, std::size_t(slot.length));
    done = at + std::size_t(slot.length);
    slots_.pop_front();
    ++firstSlotId_;
  }
  std::size_t until =
      slots_.empty() ? heldBytes_.size() : std::size_t(slots_.front().offset - heldBase_);
  putDirect(heldBytes_.data() + done, until - done);
  heldDone_ = until;
  // What went out is dropped from the front only now and then, not at every slot.
  if (slots_.empty() || heldDone_ >= kBufferSize) {
    heldBytes_.erase(0, heldDone_);
    heldBase_ += heldDone_;
    heldDone_ = 0;
  }
}

// ---- Namespaces ----

// The namespace nodes in scope at element, innermost first, one per prefix. With ownOnly
// only the element's own declarations: its parent has declared the rest.
void Serializer::collectScope(const Node* element, bool ownOnly) {
  scope_.clear();
  for (const Node* node = element; node != nullptr; node = node->parent()) {
    for (const Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      StringRef prefix = ns->localName();
      bool shadowed = false;
      for (const Binding& seen : scope_) {
        if (seen.prefix.view() == prefix.view()) {
          shadowed = true;
          break;
        }
      }
      if (!shadowed)
        scope_.push_back(
            {prefix, ns->namespaceURI(), static_cast<const NamespaceNode*>(ns)->isExcluded()});
    }
    if (ownOnly)
      break;
  }
}

// The prefix the element's name is written with. An element in a namespace but without
// a prefix (a copy, or one built by xsl:element) borrows one bound to its namespace
// name, or takes the default namespace.
StringRef Serializer::chooseElementPrefix(StringRef uri, StringRef prefix) {
  if (uri.empty())
    return emptyName();
  if (uri.view() == kXmlNamespace)
    return intern("xml");
  if (!prefix.empty() && !isReservedPrefix(prefix.view()))
    return prefix;
  for (const Binding& candidate : scope_) {
    if (candidate.uri.view() == uri.view() && !isReservedPrefix(candidate.prefix.view()))
      return candidate.prefix;
  }
  if (isBound("", uri.view()))
    return emptyName();
  StringRef bound = findPrefixFor(uri.view());
  return bound.empty() ? emptyName() : bound;
}

// Fills pending_ with what the element's start tag must declare: the binding its own
// name needs, then every in-scope namespace the output does not bind that way yet.
// Returns false when an in-scope declaration had to give way to the name's binding.
bool Serializer::collectDeclarations(StringRef uri, StringRef prefix) {
  pending_.clear();
  if (!isBound(prefix.view(), uri.view()))
    pending_.push_back({prefix, uri});
  bool complete = true;
  for (const Binding& candidate : scope_) {
    std::string_view candidateUri = candidate.uri.view();
    std::string_view candidatePrefix = candidate.prefix.view();
    if (candidate.excluded || candidateUri == kXmlNamespace || isReservedPrefix(candidatePrefix))
      continue;
    // An undeclared prefix ("xmlns:p=''") cannot be written in XML 1.0.
    if (candidateUri.empty() && !candidatePrefix.empty())
      continue;
    if (candidatePrefix == prefix.view()) {
      if (candidateUri != uri.view())
        complete = false;
      continue;
    }
    if (!isBound(candidatePrefix, candidateUri))
      pending_.push_back(candidate);
  }
  return complete;
}

const Serializer::Binding* Serializer::findBinding(std::string_view prefix) const {
  for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
    if (it->prefix.view() == prefix)
      return &*it;
  }
  return nullptr;
}

bool Serializer::isBound(std::string_view prefix, std::string_view uri) const {
  if (const Binding* binding = findBinding(prefix))
    return binding->uri.view() == uri;
  if (prefix.empty())
    return uri.empty();
  return prefix == "xml" && uri == kXmlNamespace;
}

// A non-empty prefix the output binds to uri right now, or the empty name.
StringRef Serializer::findPrefixFor(std::string_view uri) const {
  for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
    if (!it->prefix.empty() && it->uri.view() == uri && findBinding(it->prefix.view()) == &*it)
      return it->prefix;
  }
  return emptyName();
}

// A prefix the output does not bind at this point.
StringRef Serializer::makePrefix() {
  for (;;) {
    String name = formatMessage("ns%u", generatedPrefixes_++);
    if (findBinding(name.view()) == nullptr)
      return intern(name.view());
  }
}

void Serializer::writeDeclaration(const Binding& binding, const Node* node) {
  if (binding.prefix.empty()) {
    writeMarkup(" xmlns=\"");
  } else {
    writeMarkup(" xmlns:");
    writeName(binding.prefix.view(), node);
    writeMarkup("=\"");
  }
  writeEscaped(binding.uri.c_str(), binding.uri.view().size(), Escape::Attribute);
  writeMarkup("\"");
  bindings_.push_back(binding);
}

// ---- Text ----

void Serializer::write(const char* text, std::size_t length) {
  closeStartTag();
  if (length == 0)
    return;
  if (holdsBack()) {
    holdBack(NodeKind::Text, std::string_view(text, length));
    return;
  }
  startContent();
  if (method() == OutputMethod::Text) {
    emit(text, length, Context::Plain);
  } else {
    noteChild(NodeKind::Text, elements_.empty() ? nullptr : &elements_.back());
    writeContent(text, length);
  }
}

void Serializer::writeContent(const char* text, std::size_t length) {
  if (length == 0)
    return;
  if (!elements_.empty() && elements_.back().cdata)
    writeCdata(text, length);
  else if (noEscape_ || rawTextDepth_ > 0)
    writeRaw(text, length);
  else
    writeEscaped(text, length,
                 method() == OutputMethod::Html ? Escape::HtmlContent : Escape::Content);
}

namespace {

// The characters writeEscaped must look at; everything else is copied in runs.
constexpr std::array<bool, 256> escapeCandidates(std::string_view characters) {
  std::array<bool, 256> table{};
  for (char c : characters)
    table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr std::array<bool, 256> kContentCandidates = escapeCandidates("&<\">\r");
// HTML text keeps its quotes (as xsltproc writes them).
constexpr std::array<bool, 256> kHtmlContentCandidates = escapeCandidates("&<>\r");
constexpr std::array<bool, 256> kAttributeCandidates = escapeCandidates("&<\">\r\n\t");

// The ']' immediately before p, counting back to text and, when they reach it, on
// into carried (the count the text before this one ended with). Two are enough to know.
int bracketsBefore(const char* text, const char* p, int carried) {
  int count = 0;
  while (p != text && count < 2) {
    if (*--p != ']')
      return count;
    ++count;
  }
  return count + carried;
}

}  // namespace

void Serializer::writeEscaped(const char* text, std::size_t length, Escape escape) {
  const char* run = text;
  const char* end = text + length;
  bool content = escape == Escape::Content || escape == Escape::HtmlContent;
  const std::array<bool, 256>& candidates = escape == Escape::Content       ? kContentCandidates
                                            : escape == Escape::HtmlContent ? kHtmlContentCandidates
                                                                            : kAttributeCandidates;
  for (const char* p = text; p != end; ++p) {
    if (!candidates[static_cast<unsigned char>(*p)])
      continue;
    std::string_view replacement;
    switch (*p) {
    case '&':
      // HTML keeps "&{" for the script macros of its attribute values.
      if (escape != Escape::HtmlAttribute || p + 1 == end || p[1] != '{')
        replacement = "&amp;";
      break;
    case '<':
      if (escape != Escape::HtmlAttribute)
        replacement = "&lt;";
      break;
    case '"':
      replacement = "&quot;";
      break;
    case '>':
      // Only where it would end a "]]>", which content may not hold. Attribute values
      // do not count their brackets.
      if ((content     ? bracketsBefore(text, p, closingBrackets_)
           : p == text ? closingBrackets_
                       : 0) >= 2)
        replacement = "&gt;";
      break;
    // A parser normalises line ends, and white space in attribute values, unless they
    // come as references (only attribute values look at line feeds and tabs).
    case '\r':
      replacement = "&#13;";
      break;
    case '\n':
      replacement = "&#10;";
      break;
    case '\t':
      replacement = "&#9;";
      break;
    default:
      break;
    }
    if (replacement.empty())
      continue;
    emit(run, std::size_t(p - run), Context::Text);
    emit(replacement.data(), replacement.size(), Context::Text);
    run = p + 1;
  }
  emit(run, std::size_t(end - run), Context::Text);
  if (!content)
    closingBrackets_ = 0;
  else if (length != 0)
    closingBrackets_ = bracketsBefore(text, end, closingBrackets_);
}

// A "]]>" in the text is split across two sections: "]]" ends one, ">" starts the next.
void Serializer::writeCdata(const char* text, std::size_t length) {
  writeMarkup(kCdataStart);
  std::string_view rest(text, length);
  for (std::size_t found; (found = rest.find(kCdataEnd)) != std::string_view::npos;) {
    emit(rest.data(), found + 2, Context::Cdata);
    writeMarkup(kCdataEnd);
    writeMarkup(kCdataStart);
    rest.remove_prefix(found + 2);
  }
  emit(rest.data(), rest.size(), Context::Cdata);
  writeMarkup(kCdataEnd);
}

void Serializer::writeRaw(const char* text, std::size_t length) {
  emit(text, length, Context::Text);
  closingBrackets_ = 0;
}

// ---- Bytes and encodings ----

void Serializer::writeMarkup(std::string_view text) {
  closingBrackets_ = 0;
  emit(text.data(), text.size(), Context::Text);
}

void Serializer::writeName(std::string_view name, const Node* node) {
  closingBrackets_ = 0;
  nameNode_ = node;
  emit(name.data(), name.size(), Context::Name);
}

void Serializer::writeQName(StringRef prefix, StringRef localName, const Node* node) {
  if (!prefix.empty()) {
    writeName(prefix.view(), node);
    writeMarkup(":");
  }
  writeName(localName.view(), node);
}

void Serializer::emit(const char* text, std::size_t length, Context context) {
  if (encodingState_ == EncodingState::Undecided)
    chooseEncoding();
  if (encodingState_ == EncodingState::Utf8)
    putBytes(text, length);
  else
    emitConverted(text, length, context);
}

void Serializer::chooseEncoding() {
  // An unsupported name is refused when xsl:output is read; settings filled in by hand
  // that name one anyway get UTF-8.
  if (!Encoder::isUtf8(settings_.encoding.view()) && encoder_.open(settings_.encoding.view()))
    encodingState_ = EncodingState::Converted;
  else
    encodingState_ = EncodingState::Utf8;
}

void Serializer::emitConverted(const char* text, std::size_t length, Context context) {
  char scratch[256];
  while (length > 0) {
    char* out = scratch;
    std::size_t room = sizeof scratch;
    Encoder::Status status = encoder_.convert(text, length, out, room);
    putBytes(scratch, std::size_t(out - scratch));
    if (status == Encoder::Status::Unconvertible && length > 0) {
      std::size_t count;
      char32_t character = decodeUtf8(text, length, count);
      text += count;
      length -= count;
      emitReplacement(character, context);
    }
  }
}

void Serializer::emitReplacement(char32_t character, Context context) {
  char reference[16];
  int size = std::snprintf(reference, sizeof reference, "&#%u;", unsigned(character));
  switch (context) {
  case Context::Text:
    emitConverted(reference, std::size_t(size), Context::Drop);
    return;
  case Context::Cdata:
    emitConverted(kCdataEnd.data(), kCdataEnd.size(), Context::Drop);
    emitConverted(reference, std::size_t(size), Context::Drop);
    emitConverted(kCdataStart.data(), kCdataStart.size(), Context::Drop);
    return;
  case Context::Plain:
  case Context::Comment:
  case Context::Data:
    throw OutputException(formatMessage(kUnwritableCharacter, unsigned(character),
                                        context == Context::Plain     ? "text output"
                                        : context == Context::Comment ? "a comment"
                                                                      : "a processing instruction",
                                        settings_.encoding.c_str()));
  case Context::Name:
    throw StylesheetException(
        locationOf(nameNode_),
        formatMessage(kUnwritableNameCharacter, unsigned(character), settings_.encoding.c_str()));
  case Context::Drop:
    return;
  }
  assert(false && "unknown context");
}

void Serializer::putDirect(const char* bytes, std::size_t length) {
  if (length < kBufferSize - fill_) {
    std::memcpy(buffer_.get() + fill_, bytes, length);
    fill_ += length;
    return;
  }
  while (length > 0) {
    std::size_t chunk = kBufferSize - fill_;
    if (chunk > length)
      chunk = length;
    std::memcpy(buffer_.get() + fill_, bytes, chunk);
    fill_ += chunk;
    bytes += chunk;
    length -= chunk;
    if (fill_ == kBufferSize)
      writeBuffer();
  }
}

void Serializer::writeBuffer() {
  if (fill_ == 0)
    return;
  if (stream_ != nullptr) {
    if (std::fwrite(buffer_.get(), 1, fill_, stream_) != fill_ && writeError_ == 0)
      writeError_ = errno != 0 ? errno : EIO;
  } else if (sink_ != nullptr)
    sink_->write(buffer_.get(), fill_);
  fill_ = 0;
}

void Serializer::flush() {
  // Whatever is still undecided is kept: the text it belongs to was cut short.
  decideSlotsFrom(firstSlotId_, true);
  writeBuffer();
  if (sink_ != nullptr)
    sink_->flush();
}

}  // namespace ovra
