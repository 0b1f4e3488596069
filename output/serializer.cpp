#include "output/serializer.h"

#include "base/exceptions.h"
#include "tree/name_pool.h"
#include "tree/node.h"

#include <array>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace ovra {

namespace {

constexpr const char* kUnwritableNameCharacter =
    "Character U+%04X of a name cannot be written in output encoding %s";

constexpr std::string_view kCdataStart = "<![CDATA[";
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

// HTML elements written without end tag, compared after lowering ASCII letters.
bool isHtmlVoidElement(std::string_view localName) {
  static const TextSet voidElements = {"area", "base",  "basefont", "br",   "col",  "frame", "hr",
                                       "img",  "input", "isindex",  "link", "meta", "param"};
  if (localName.size() > 8)
    return false;
  char lowered[8];
  for (std::size_t i = 0; i < localName.size(); ++i)
    lowered[i] = asciiLower(localName[i]);
  return voidElements.count(std::string_view(lowered, localName.size())) != 0;
}

// The HTML rules apply only to elements in no namespace.
bool isHtmlElementNamed(const Node* element, std::string_view lowerName) {
  return element->namespaceURI().empty() &&
         equalsIgnoringCase(element->localName().view(), lowerName);
}

// HTML attributes that have only one value, their own name, and are written minimised.
bool isHtmlBooleanAttribute(std::string_view name, std::string_view value) {
  static const TextSet names = {"checked", "compact",  "declare", "defer",    "disabled",
                                "ismap",   "multiple", "nohref",  "noresize", "noshade",
                                "nowrap",  "readonly", "selected"};
  if (name.size() != value.size() || name.size() > 8 || !equalsIgnoringCase(value, name))
    return false;
  char lowered[8];
  for (std::size_t i = 0; i < name.size(); ++i)
    lowered[i] = asciiLower(name[i]);
  return names.count(std::string_view(lowered, name.size())) != 0;
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
    writeComment(static_cast<const CommentNode*>(node)->textView());
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
  if (!elements_.back().startTagClosed)
    writeAttributes();
  OpenElement element = elements_.back();
  elements_.pop_back();
  if (element.rawText)
    --rawTextDepth_;
  if (!element.startTagClosed) {
    if (element.htmlVoid) {
      writeMarkup(">");
    } else if (element.html) {
      // HTML has no empty-element tags: only void elements may omit the end tag.
      writeMarkup("></");
      writeQName(element.prefix, element.localName, element.node);
      writeMarkup(">");
    } else {
      writeMarkup("/>");
    }
  } else if (!element.htmlVoid) {
    writeMarkup("</");
    writeQName(element.prefix, element.localName, element.node);
    writeMarkup(">");
  }
  bindings_.resize(element.bindingMark);
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
      writeComment(event.text);
    } else if (event.kind == NodeKind::ProcessingInstruction) {
      writeProcessingInstruction(nullptr, event.target, event.text);
    } else {
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
    entry.html = true;
    entry.htmlVoid = isHtmlVoidElement(localName.view());
    entry.rawText = isHtmlElementNamed(element, "script") || isHtmlElementNamed(element, "style");
  }

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
  writeMarkup("<");
  writeQName(entry.prefix, localName, element);
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
      if (attribute.prefix.empty() &&
          isHtmlBooleanAttribute(name, std::string_view(value, attribute.valueLength)))
        continue;
      writeMarkup("=\"");
      writeEscaped(value, attribute.valueLength, Escape::HtmlAttribute);
    } else {
      writeMarkup("=\"");
      writeEscaped(value, attribute.valueLength, Escape::Attribute);
    }
    writeMarkup("\"");
  }
}

void Serializer::writeComment(std::string_view text) {
  writeMarkup("<!--");
  // "--" may not occur inside a comment nor "-" end it: a space goes between.
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '-' && (i + 1 == text.size() || text[i + 1] == '-')) {
      emit(text.data() + start, i + 1 - start, Context::Text);
      emit(" ", 1, Context::Text);
      start = i + 1;
    }
  }
  emit(text.data() + start, text.size() - start, Context::Text);
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
      emit(data.data() + start, i + 1 - start, Context::Text);
      emit(" ", 1, Context::Text);
      start = i + 1;
    }
  }
  emit(data.data() + start, data.size() - start, Context::Text);
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
    writeAttributes();
    writeMarkup(">");
    elements_.back().startTagClosed = true;
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
  if (method() == OutputMethod::Text)
    emit(text, length, Context::Plain);
  else
    writeContent(text, length);
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
  const std::array<bool, 256>& candidates = content ? kContentCandidates : kAttributeCandidates;
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
      // HTML text keeps its quotes (as xsltproc writes them).
      if (escape != Escape::HtmlContent)
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
    emitConverted("?", 1, Context::Drop);
    return;
  case Context::Name:
    throw StylesheetException(
        nameNode_,
        formatMessage(kUnwritableNameCharacter, unsigned(character), settings_.encoding.c_str()));
  case Context::Drop:
    return;
  }
  assert(false && "unknown context");
}

void Serializer::putBytes(const char* bytes, std::size_t length) {
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
  }
  else if (sink_ != nullptr)
    sink_->write(buffer_.get(), fill_);
  fill_ = 0;
}

void Serializer::flush() {
  writeBuffer();
  if (sink_ != nullptr)
    sink_->flush();
}

}  // namespace ovra
