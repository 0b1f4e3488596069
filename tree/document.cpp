// The expat loader: reads one buffer-full per parseChunk and turns the parser's callbacks
// into nodes in the Document's arena. The only file that includes expat.h.
#include "tree/document.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "tree/name_pool.h"
#include "tree/node.h"

#include <expat.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>
#include <filesystem>
#include <unordered_map>

namespace ovra {

static constexpr const char* kCouldNotOpen = "Could not open file, ";
static constexpr const char* kCouldNotRead = "Could not read file, ";
static constexpr const char* kParseError = "%s at %d of %s";

static constexpr char kNamespaceSeparator = '@';
static constexpr std::size_t kEntityBufferSize = 4096;
// The bits of a source element's space mode.
static constexpr std::uint8_t kStripText = 1;        // its whitespace-only text goes
static constexpr std::uint8_t kPreserveInScope = 2;  // xml:space="preserve" is in force

namespace {

struct SplitName {
  StringRef namespaceURI;
  StringRef localName;
};

// expat reports a namespaced name as namespace name, '@', local name. A namespace name
// may itself contain '@' (mailto: URIs) while a local name never can, so the split is at
// the last one.
SplitName splitName(const XML_Char* name) {
  const char* at = std::strrchr(name, kNamespaceSeparator);
  if (at == nullptr)
    return {emptyName(), intern(name)};
  return {intern(std::string_view(name, std::size_t(at - name))), intern(at + 1)};
}

bool isWhitespaceOnly(std::string_view text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
      return false;
  }
  return true;
}

StringRef xmlPrefix() {
  static const StringRef name = intern("xml");
  return name;
}

}  // namespace

// ---- Namespace scope ----

// The namespace declarations in scope at the element being read, kept while the tree is
// built so that restoring a prefix costs a hash lookup instead of a walk up through the
// ancestors (documents may nest very deeply). The answer is the one the namespace axis
// gives: innermost element first and, on one element, the first declaration; a
// declaration whose prefix an inner element has bound again is out of scope and skipped.
class Document::NamespaceScope {
 public:
  // Called in declaration order once node has been moved onto its element.
  void push(NamespaceNode* node) {
    const char* prefix = node->declaredPrefix().c_str();
    auto [slot, inserted] = byPrefix_.try_emplace(prefix, node);
    NamespaceNode* previous = inserted ? nullptr : slot->second;
    slot->second = node;
    bindings_.push_back({node, previous});
    byURI_[node->namespaceURI().c_str()].push_back(node);
  }

  // At the end tag of element: its declarations leave the scope.
  void pop(const Node* element) {
    while (!bindings_.empty() && bindings_.back().node->parent() == element) {
      Binding binding = bindings_.back();
      bindings_.pop_back();
      const char* prefix = binding.node->declaredPrefix().c_str();
      if (binding.previous == nullptr)
        byPrefix_.erase(prefix);
      else
        byPrefix_[prefix] = binding.previous;
      auto uri = byURI_.find(binding.node->namespaceURI().c_str());
      uri->second.pop_back();
      if (uri->second.empty())
        byURI_.erase(uri);
    }
  }

  // The prefix bound to namespaceURI, or null when none is. Attributes never take the
  // default declaration: an unprefixed attribute is in no namespace.
  const NamespaceNode* find(StringRef namespaceURI, bool forAttribute) const {
    auto uri = byURI_.find(namespaceURI.c_str());
    if (uri == byURI_.end())
      return nullptr;
    const NamespaceNode* found = nullptr;
    const Node* element = nullptr;
    // Newest first; once a usable declaration is found, the older ones on the same
    // element may still precede it in declaration order.
    for (auto it = uri->second.rbegin(); it != uri->second.rend(); ++it) {
      const NamespaceNode* node = *it;
      if (element != nullptr && node->parent() != element)
        break;
      if (forAttribute && node->declaredPrefix() == emptyName())
        continue;
      if (byPrefix_.at(node->declaredPrefix().c_str()) != node)
        continue;
      found = node;
      element = node->parent();
    }
    return found;
  }

  void clear() {
    bindings_.clear();
    byPrefix_.clear();
    byURI_.clear();
  }

 private:
  struct Binding {
    NamespaceNode* node;
    NamespaceNode* previous;  // the binding of the same prefix it hides, or null
  };
  std::vector<Binding> bindings_;                             // outermost first
  std::unordered_map<const char*, NamespaceNode*> byPrefix_;  // interned prefix: innermost
  std::unordered_map<const char*, std::vector<NamespaceNode*>> byURI_;  // outermost first
};

// ---- Parser callbacks ----

struct Document::Callbacks {
  static Document& of(void* userData) { return *static_cast<Document*>(userData); }
  static XML_Parser parserOf(Document& document) {
    return static_cast<XML_Parser>(document.parser_.get());
  }

  static StringRef restorePrefix(const Document& document, StringRef namespaceURI,
                                 bool forAttribute) {
    if (namespaceURI == emptyName())
      return emptyName();
    if (const NamespaceNode* node = document.scope_->find(namespaceURI, forAttribute))
      return node->declaredPrefix();
    // The xml prefix is bound without a declaration.
    if (namespaceURI == xmlNamespaceName())
      return xmlPrefix();
    return emptyName();
  }

  static void startElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
    Document& document = of(userData);
    document.flushText();
    SplitName split = splitName(name);
    auto line = std::int32_t(XML_GetCurrentLineNumber(parserOf(document)));
    auto* element = document.arena_.make<ElementNode>(split.namespaceURI, split.localName,
                                                      emptyName(), line, /*complete=*/false);
    document.currentParent_->appendChild(element);
    document.currentParent_ = element;

    // Inherited from the parent: whether xml:space="preserve" is in force.
    std::uint8_t spaceMode =
        document.spaceModes_.empty() ? 0 : document.spaceModes_.back() & kPreserveInScope;
    for (const XML_Char** pair = attributes; *pair != nullptr; pair += 2) {
      SplitName attribute = splitName(pair[0]);
      const char* value = pair[1];
      // xml:space steers stripping, and stays an attribute like any other.
      if (attribute.namespaceURI == xmlNamespaceName() && attribute.localName.view() == "space") {
        if (document.stripping_ != nullptr) {
          if (std::strcmp(value, "preserve") == 0)
            spaceMode |= kPreserveInScope;
          else if (std::strcmp(value, "default") == 0)
            spaceMode &= ~kPreserveInScope;
        } else if (document.strip_ ? std::strcmp(value, "preserve") == 0
                                   : std::strcmp(value, "default") == 0) {
          // Without stripping rules, xml:space="default" in a source strips the
          // whitespace-only text of its content, as a stylesheet's does.
          document.strip_ = !document.strip_;
          document.spaceStack_.push_back(element);
        }
      }
      auto* node =
          document.arena_.make<AttributeNode>(attribute.namespaceURI, emptyName(),
                                              attribute.localName, document.arena_.copyText(value));
      element->appendAttribute(node);
    }
    if (document.stripping_ != nullptr) {
      if (!(spaceMode & kPreserveInScope) &&
          document.stripping_->strips(split.namespaceURI, split.localName))
        spaceMode |= kStripText;
      document.spaceModes_.push_back(spaceMode);
      document.strip_ = spaceMode & kStripText;
    }
    if (document.stripping_ == nullptr && document.strip_ && element->isXslText()) {
      document.strip_ = false;
      document.spaceStack_.push_back(element);
    }

    for (NamespaceNode* node : document.pendingNamespaces_) {
      element->appendNamespace(node);
      document.scope_->push(node);
    }
    document.pendingNamespaces_.clear();

    element->setPrefix(restorePrefix(document, split.namespaceURI, /*forAttribute=*/false));
    for (Node* node = element->firstAttribute(); node != nullptr; node = node->rawNextSibling()) {
      auto* attribute = static_cast<AttributeNode*>(node);
      attribute->setPrefix(
          restorePrefix(document, attribute->namespaceURI(), /*forAttribute=*/true));
    }
    document.elementSeen_ = true;
    if (!document.idAttributes_.empty())
      recordIds(document, element);
  }

  // The DTD names elements and attributes as written, prefix and all.
  static std::string qualifiedName(const Node* node) {
    std::string name(node->prefix().view());
    if (!name.empty())
      name += ':';
    name += node->localName().view();
    return name;
  }

  static void recordIds(Document& document, ElementNode* element) {
    auto declared = document.idAttributes_.find(qualifiedName(element));
    if (declared == document.idAttributes_.end())
      return;
    for (Node* node = element->firstAttribute(); node != nullptr; node = node->rawNextSibling()) {
      const std::vector<std::string>& names = declared->second;
      if (std::find(names.begin(), names.end(), qualifiedName(node)) != names.end())
        document.elementsById_.try_emplace(static_cast<AttributeNode*>(node)->value(), element);
    }
  }

  static void attributeListDeclaration(void* userData, const XML_Char* elementName,
                                       const XML_Char* attributeName, const XML_Char* type,
                                       const XML_Char*, int) {
    if (std::strcmp(type, "ID") != 0)
      return;
    std::vector<std::string>& names = of(userData).idAttributes_[elementName];
    if (std::find(names.begin(), names.end(), attributeName) == names.end())
      names.emplace_back(attributeName);
  }

  // The first declaration of a name is binding; later ones are ignored.
  static void unparsedEntityDeclaration(void* userData, const XML_Char* name, const XML_Char*,
                                        const XML_Char* systemId, const XML_Char*,
                                        const XML_Char*) {
    Document& document = of(userData);
    if (document.unparsedEntities_.contains(name))
      return;
    document.unparsedEntities_.emplace(name, document.resolveSystemId(systemId ? systemId : ""));
  }

  static void endElement(void* userData, const XML_Char*) {
    Document& document = of(userData);
    // Whitespace-only text is dropped as it ends (flushText), under the same strip flag
    // the end tag would see: the flag inside an element's content is the one in force
    // when each of its texts ends.
    document.flushText();
    auto* element = static_cast<ElementNode*>(document.currentParent_);
    element->markComplete();
    while (!document.spaceStack_.empty() && document.spaceStack_.back() == element) {
      document.spaceStack_.pop_back();
      document.strip_ = !document.strip_;
    }
    if (document.stripping_ != nullptr) {
      document.spaceModes_.pop_back();
      document.strip_ = !document.spaceModes_.empty() && (document.spaceModes_.back() & kStripText);
    }
    document.scope_->pop(element);
    document.currentParent_ = element->parent();
  }

  static void characterData(void* userData, const XML_Char* text, int length) {
    of(userData).pendingText_.append(text, std::size_t(length));
  }

  static void processingInstruction(void* userData, const XML_Char* target, const XML_Char* data) {
    Document& document = of(userData);
    if (document.inDoctype_ || document.stylesheetRules_)
      return;
    document.flushText();
    NodeArena& arena = document.arena_;
    document.currentParent_->appendChild(arena.make<ProcessingInstructionNode>(
        arena.copyText(target), arena.copyText(data ? data : "")));
  }

  static void comment(void* userData, const XML_Char* text) {
    Document& document = of(userData);
    if (document.inDoctype_ || document.stylesheetRules_)
      return;
    document.flushText();
    const char* copy = document.arena_.copyText(text);
    document.currentParent_->appendChild(
        document.arena_.make<CommentNode>(copy, std::strlen(copy)));
  }

  // Reported before the start tag of the element that declares it, so the namespace
  // node's serial is lower than its element's.
  static void startNamespace(void* userData, const XML_Char* prefix, const XML_Char* uri) {
    Document& document = of(userData);
    document.flushText();
    document.pendingNamespaces_.push_back(
        document.arena_.make<NamespaceNode>(intern(prefix ? prefix : ""), intern(uri ? uri : "")));
  }

  static void endNamespace(void*, const XML_Char*) {}

  // The parser reports comments and processing instructions of the internal DTD subset
  // like those of the document, but they are not part of the tree.
  static void startDoctype(void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    of(userData).inDoctype_ = true;
  }
  static void endDoctype(void* userData) { of(userData).inDoctype_ = false; }

  // The external DTD subset and external entities: read when they are local files in
  // the document's folder (or below it), parsed to their end right here. Anything else
  // (a URL, a path outside that folder, a file that cannot be opened) is left unread,
  // and the references it would have defined are skipped.
  static int externalEntity(XML_Parser parser, const XML_Char* context, const XML_Char*,
                            const XML_Char* systemId, const XML_Char*) {
    Document& document = *static_cast<Document*>(XML_GetUserData(parser));
    String path;
    if (systemId == nullptr || !document.localEntityPath(systemId, path))
      return XML_STATUS_OK;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr)
      return XML_STATUS_OK;
    std::unique_ptr<void, ParserDeleter> entityParser(
        XML_ExternalEntityParserCreate(parser, context, nullptr));
    if (entityParser == nullptr)
      return XML_STATUS_ERROR;
    auto* entity = static_cast<XML_Parser>(entityParser.get());
    InputDecoder decoder;
    bool started = false;
    char buffer[kEntityBufferSize];
    for (;;) {
      std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
      bool final = count < sizeof buffer;
      if (final && std::ferror(file.get()))
        return XML_STATUS_ERROR;
      if (!decoder.decode(buffer, count, final))
        continue;
      if (!started && decoder.parserEncoding() != nullptr)
        XML_SetEncoding(entity, decoder.parserEncoding());
      started = true;
      std::string_view text = decoder.text();
      if (XML_Parse(entity, text.data(), int(text.size()), final) != XML_STATUS_OK ||
          !decoder.failure().empty())
        return XML_STATUS_ERROR;
      if (final)
        return XML_STATUS_OK;
    }
  }
};

bool Document::localEntityPath(const char* systemId, String& path) const {
  // Text held in memory has no folder of its own.
  if (fromMemory_)
    return false;
  std::string_view id(systemId);
  // A scheme ("http:", "file:") makes a URL, which is never fetched.
  std::size_t colon = id.find(':');
  if (colon != std::string_view::npos && colon < id.find('/'))
    return false;
  String folder = directoryOf(fullPathName(fileName_));
  if (folder.empty())
    return false;
  if (!id.empty() && id[0] == '/') {
    path = fullPathName(String(id));
  } else {
    String joined = folder;
    joined.append(id);
    path = fullPathName(joined);
  }
  if (!(path.view().size() > folder.view().size() && path.view().starts_with(folder.view())))
    return false;
  // Checked again with symbolic links resolved, so a link in the folder cannot lead out of
  // it; and only a regular file, since reading a pipe or a device may never end.
  std::error_code error;
  std::filesystem::path target = std::filesystem::canonical(path.c_str(), error);
  if (error || !std::filesystem::is_regular_file(target, error))
    return false;
  std::string realFolder = std::filesystem::canonical(folder.c_str(), error).string();
  if (error)
    return false;
  if (realFolder.back() != '/')
    realFolder += '/';
  std::string realTarget = target.string();
  return realTarget.size() > realFolder.size() && realTarget.starts_with(realFolder);
}

// ---- Document ----

WhitespaceStripping::~WhitespaceStripping() = default;

void Document::setStripping(const WhitespaceStripping* rules) {
  // Only documents read as sources take rules: a stylesheet keeps its own.
  if (state_ == State::NotOpened && !stylesheetRules_) {
    stripping_ = rules;
    spaceModes_.clear();
  } else {
    stripping_ = nullptr;
  }
  resolvedStripping_ = rules;
}

Document::Document(String fileName, std::size_t bufferSize, bool strip)
    : fileName_(std::move(fileName)),
      bufferSize_(bufferSize == 0 ? 1 : bufferSize),  // an empty chunk would never be final
      strip_(strip), stylesheetRules_(strip) {
  assert(bufferSize_ <= std::size_t(INT_MAX) && "the parser takes an int length");
}

std::unique_ptr<Document> Document::fromText(std::string text, String fileName,
                                             std::size_t bufferSize, bool strip) {
  auto document = std::make_unique<Document>(std::move(fileName), bufferSize, strip);
  document->fromMemory_ = true;
  document->memory_ = std::move(text);
  return document;
}

std::unique_ptr<Document> Document::fromStream(std::FILE* stream, String name,
                                               std::size_t bufferSize, bool strip) {
  auto document = std::make_unique<Document>(std::move(name), bufferSize, strip);
  document->input_ = stream;
  return document;
}

Document::~Document() = default;

void Document::ParserDeleter::operator()(void* parser) const {
  XML_ParserFree(static_cast<XML_Parser>(parser));
}

void Document::FileCloser::operator()(std::FILE* file) const {
  std::fclose(file);
}

void Document::open() {
  if (!fromMemory_) {
    if (input_ == nullptr) {
      std::FILE* file = std::fopen(fileName_.c_str(), "rb");
      if (file == nullptr)
        throw DocumentParseException(String(kCouldNotOpen).append(fileName_));
      stream_.reset(file);
      input_ = file;
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(bufferSize_);
  }
  XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
  if (parser == nullptr)
    throw std::bad_alloc();
  parser_.reset(parser);
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, Callbacks::startElement, Callbacks::endElement);
  XML_SetCharacterDataHandler(parser, Callbacks::characterData);
  XML_SetProcessingInstructionHandler(parser, Callbacks::processingInstruction);
  XML_SetCommentHandler(parser, Callbacks::comment);
  XML_SetNamespaceDeclHandler(parser, Callbacks::startNamespace, Callbacks::endNamespace);
  XML_SetDoctypeDeclHandler(parser, Callbacks::startDoctype, Callbacks::endDoctype);
  XML_SetAttlistDeclHandler(parser, Callbacks::attributeListDeclaration);
  XML_SetUnparsedEntityDeclHandler(parser, Callbacks::unparsedEntityDeclaration);
  // Only local files next to the document; see Callbacks::externalEntity.
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_UNLESS_STANDALONE);
  XML_SetExternalEntityRefHandler(parser, Callbacks::externalEntity);

  scope_ = std::make_unique<NamespaceScope>();
  root_ = arena_.make<RootNode>(this);
  currentParent_ = root_;
  state_ = State::Open;
}

void Document::close() {
  parser_.reset();
  buffer_.reset();
  stream_.reset();
  input_ = nullptr;
  memory_ = std::string();
  pendingText_ = std::string();
  pendingNamespaces_.clear();
  spaceStack_.clear();
  if (scope_)
    scope_->clear();
  state_ = State::Finished;
}

const char* Document::read(std::size_t& count) {
  if (fromMemory_) {
    count = std::min(bufferSize_, memory_.size() - memoryOffset_);
    const char* chunk = memory_.data() + memoryOffset_;
    memoryOffset_ += count;
    return chunk;
  }
  count = std::fread(buffer_.get(), 1, bufferSize_, input_);
  // A directory opens on some systems and fails only here.
  if (count < bufferSize_ && std::ferror(input_)) {
    close();
    throw DocumentParseException(String(kCouldNotRead).append(fileName_));
  }
  return buffer_.get();
}

void Document::flushText() {
  if (pendingText_.empty())
    return;
  if (!(strip_ && isWhitespaceOnly(pendingText_))) {
    const char* text = arena_.copyText(pendingText_);
    currentParent_->appendChild(arena_.make<TextNode>(text, pendingText_.size()));
  }
  pendingText_.clear();
}

bool Document::parseChunk() {
  assert(!parsing_ && "a parser callback navigated into the tree being built");
  if (state_ == State::Finished)
    return false;
  if (state_ == State::NotOpened)
    open();
  std::size_t count = 0;
  const char* chunk = read(count);
  // A short read is the last one, so input whose length is a multiple of the buffer
  // size ends with an empty final chunk.
  bool final = count < bufferSize_;
  XML_Parser parser = static_cast<XML_Parser>(parser_.get());
  // The start of the input is held back until it tells the encoding.
  if (!decoder_.decode(chunk, count, final))
    return true;
  if (chunksParsed_ == 0 && decoder_.parserEncoding() != nullptr)
    XML_SetEncoding(parser, decoder_.parserEncoding());
  ++chunksParsed_;
  std::string_view text = decoder_.text();
  parsing_ = true;
  XML_Status status =
      XML_Parse(parser, text.data(), int(text.size()), final && decoder_.failure().empty());
  parsing_ = false;
  if (status != XML_STATUS_OK || !decoder_.failure().empty()) {
    const char* reason = status != XML_STATUS_OK ? XML_ErrorString(XML_GetErrorCode(parser))
                                                 : decoder_.failure().c_str();
    String message = formatMessage(kParseError, reason, int(XML_GetCurrentLineNumber(parser)),
                                   fileName_.c_str());
    // What was read before the error stays in the tree and usable.
    flushText();
    close();
    throw DocumentParseException(std::move(message));
  }
  if (!final)
    return true;
  close();
  return false;
}

void Document::parseAll() {
  while (parseChunk()) {
  }
}

Node* Document::resolve(const ConstString& reference) {
  if (reference.empty())
    return root_;
  String path;
  if (reference.c_str()[0] == '/') {
    path = String(reference);
  } else {
    path = directoryOf(fullPathName(fileName_));
    path.append(reference);
  }
  Document* document = DocumentRegistry::open(std::move(path), kRegistryBufferSize, false);
  document->setStripping(resolvedStripping_);
  document->open();
  return document->root();
}

Node* Document::elementById(std::string_view value) {
  std::string key(value);
  for (;;) {
    auto found = elementsById_.find(key);
    if (found != elementsById_.end())
      return found->second;
    // Once the document element has begun, no declaration can come any more.
    if (elementSeen_ && idAttributes_.empty())
      return nullptr;
    if (!parseChunk())
      break;
  }
  auto found = elementsById_.find(key);
  return found == elementsById_.end() ? nullptr : found->second;
}

const String* Document::unparsedEntityURI(std::string_view name) const {
  auto found = unparsedEntities_.find(std::string(name));
  return found == unparsedEntities_.end() ? nullptr : &found->second;
}

String Document::resolveSystemId(std::string_view systemId) const {
  std::size_t colon = systemId.find(':');
  if (colon != std::string_view::npos && colon < systemId.find('/'))
    return String(systemId);
  std::filesystem::path path(std::string{systemId});
  if (path.is_relative())
    path = std::filesystem::path(directoryOf(fullPathName(fileName_)).c_str()) / path;
  return String(path.lexically_normal().string());
}

const char* Document::parserVersion() {
  return XML_ExpatVersion();
}

// ---- Registry ----

static std::vector<std::unique_ptr<Document>>& registeredDocuments() {
  static std::vector<std::unique_ptr<Document>> documents;
  return documents;
}

Document* DocumentRegistry::open(String fileName, std::size_t bufferSize, bool strip) {
  return adopt(std::make_unique<Document>(std::move(fileName), bufferSize, strip));
}

Document* DocumentRegistry::adopt(std::unique_ptr<Document> document) {
  auto& documents = registeredDocuments();
  documents.push_back(std::move(document));
  return documents.back().get();
}

void DocumentRegistry::closeAll() {
  registeredDocuments().clear();
}

std::size_t DocumentRegistry::size() {
  return registeredDocuments().size();
}

}  // namespace ovra
