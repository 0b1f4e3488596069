// The expat driver: one buffer-full per parseChunk, the parser's callbacks turned into
// nodes in the Document's arena. The only file that includes expat.h.
#include "tree/xml_loader.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "base/platform.h"
#include "tree/document.h"
#include "tree/dtd.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/resources.h"
#include "tree/uri.h"

#include <expat.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <unordered_map>

namespace ovra {

static constexpr const char* kCouldNotOpen = "Could not open file, ";
static constexpr const char* kCouldNotRead = "Could not read file, ";
static constexpr char kExpectedEndTag[] =
    ": expected </%s> (to close <%s> from line %d), found </%.*s>";
static constexpr const char* kCouldNotReadReason = "Could not read file, %s: %s";
static constexpr const char* kUndefinedEntity = "undefined entity '%s'";
static constexpr const char* kUndefinedEntityUnread = "undefined entity '%s': %s";
static constexpr const char* kNotRead = "%s not read: %s";
// What kNotRead names.
static constexpr const char* kDtd = "DTD";
static constexpr const char* kParameterEntity = "external parameter entity";
static constexpr const char* kExternalEntity = "external entity";
static constexpr const char* kSubsetTurnedOff = "reading the external DTD subset is turned off";
static constexpr const char* kTooDeep = "elements nested deeper than %d";

static constexpr char kNamespaceSeparator = '@';
// DocBook's DTD modules are 20 to 100 kB: most are read in one piece.
static constexpr std::size_t kEntityBufferSize = 65536;
// The bits of a source element's space mode.
static constexpr std::uint8_t kStripText = 1;        // its whitespace-only text goes
static constexpr std::uint8_t kPreserveInScope = 2;  // xml:space="preserve" is in force

namespace {

// Parses what the parser has held back for more input (an unfinished token, by expat's
// reparse deferral), so that its position is where the input stops: where bytes that
// cannot be decoded begin.
XML_Status parseHeldBack([[maybe_unused]] XML_Parser parser) {
#ifdef OVRA_HAVE_REPARSE_DEFERRAL
  XML_SetReparseDeferralEnabled(parser, XML_FALSE);
  XML_Status status = XML_Parse(parser, "", 0, XML_FALSE);
  XML_SetReparseDeferralEnabled(parser, XML_TRUE);
  return status;
#else
  return XML_STATUS_OK;
#endif
}

// Parses the text the decoder made of the last input; when the decoder stopped at bytes it
// cannot decode, the input is final for the parser only up to there.
XML_Status parseDecoded(XML_Parser parser, const InputDecoder& decoder, bool final) {
  std::string_view text = decoder.text();
  bool failed = !decoder.failure().empty();
  XML_Status status = XML_Parse(parser, text.data(), int(text.size()), final && !failed);
  if (status == XML_STATUS_OK && failed)
    status = parseHeldBack(parser);
  return status;
}

struct SplitName {
  StringRef namespaceURI;
  StringRef localName;
};

// expat reports a namespaced name as namespace name, '@', local name. A namespace name
// may itself contain '@' (mailto: URIs) while a local name never can, so the split is at
// the last one.
// lastURI: the namespace name split off last. Most names of a document share a few long
// namespace names; comparing with the last one costs less than hashing it again.
SplitName splitName(const XML_Char* name, XmlLoader::LastName& lastURI) {
  const char* at = std::strrchr(name, kNamespaceSeparator);
  if (at == nullptr)
    return {emptyName(), intern(name)};
  std::string_view uri(name, std::size_t(at - name));
  if (uri != lastURI.text || lastURI.text.data() == nullptr) {
    lastURI.name = intern(uri);
    lastURI.text = std::string_view(lastURI.name.c_str(), uri.size());
  }
  return {lastURI.name, intern(at + 1)};
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
class XmlLoader::NamespaceScope {
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

struct XmlLoader::Callbacks {
  static XmlLoader& of(void* userData) { return *static_cast<XmlLoader*>(userData); }
  static XML_Parser parserOf(XmlLoader& loader) {
    return static_cast<XML_Parser>(loader.parser_.get());
  }

  static StringRef restorePrefix(const XmlLoader& loader, StringRef namespaceURI,
                                 bool forAttribute) {
    if (namespaceURI == emptyName())
      return emptyName();
    if (const NamespaceNode* node = loader.scope_->find(namespaceURI, forAttribute))
      return node->declaredPrefix();
    // The xml prefix is bound without a declaration.
    if (namespaceURI == xmlNamespaceName())
      return xmlPrefix();
    return emptyName();
  }

  static void startElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
    XmlLoader& loader = of(userData);
    loader.flushText();
    SplitName split = splitName(name, loader.lastNamespaceURI_);
    auto line = std::int32_t(XML_GetCurrentLineNumber(parserOf(loader)));
    auto* element = loader.arena_.make<ElementNode>(split.namespaceURI, split.localName,
                                                    emptyName(), line, /*complete=*/false);
    loader.currentParent_->appendChild(element);
    loader.currentParent_ = element;
    std::int32_t limit = loader.settings_.maxDepth;
    if (++loader.depth_ > limit && limit > 0) {
      loader.recordHere(formatMessage(kTooDeep, limit));
      loader.stop();
    }

    // Inherited from the parent: whether xml:space="preserve" is in force.
    std::uint8_t spaceMode =
        loader.spaceModes_.empty() ? 0 : loader.spaceModes_.back() & kPreserveInScope;
    // The attributes the DTD adds by default follow those the tag specifies.
    const XML_Char** end = nullptr;
    if (!loader.settings_.defaultAttributes)
      end = attributes +
            XML_GetSpecifiedAttributeCount(static_cast<XML_Parser>(loader.currentParser_));
    for (const XML_Char** pair = attributes; *pair != nullptr && pair != end; pair += 2) {
      SplitName attribute = splitName(pair[0], loader.lastNamespaceURI_);
      const char* value = pair[1];
      // xml:space steers stripping, and stays an attribute like any other.
      if (attribute.namespaceURI == xmlNamespaceName() && attribute.localName.view() == "space") {
        // Without stripping rules all whitespace stays, xml:space="default" or not
        // (XSLT 1.0 section 3.4).
        if (loader.stripping_ != nullptr) {
          if (std::strcmp(value, "preserve") == 0)
            spaceMode |= kPreserveInScope;
          else if (std::strcmp(value, "default") == 0)
            spaceMode &= ~kPreserveInScope;
        }
      }
      auto* node = loader.arena_.make<AttributeNode>(
          attribute.namespaceURI, emptyName(), attribute.localName, loader.arena_.copyText(value));
      element->appendAttribute(node);
    }
    if (loader.stripping_ != nullptr) {
      if (!(spaceMode & kPreserveInScope) &&
          loader.stripping_->strips(split.namespaceURI, split.localName))
        spaceMode |= kStripText;
      loader.spaceModes_.push_back(spaceMode);
      loader.strip_ = spaceMode & kStripText;
    }

    for (NamespaceNode* node : loader.pendingNamespaces_) {
      element->appendNamespace(node);
      loader.scope_->push(node);
    }
    loader.pendingNamespaces_.clear();

    element->setPrefix(restorePrefix(loader, split.namespaceURI, /*forAttribute=*/false));
    for (Node* node = element->firstAttribute(); node != nullptr; node = node->rawNextSibling()) {
      auto* attribute = static_cast<AttributeNode*>(node);
      attribute->setPrefix(restorePrefix(loader, attribute->namespaceURI(), /*forAttribute=*/true));
    }
    loader.dtd_.markComplete();
    loader.dtd_.recordIds(element);
  }

  static void attributeListDeclaration(void* userData, const XML_Char* elementName,
                                       const XML_Char* attributeName, const XML_Char* type,
                                       const XML_Char*, int) {
    if (std::strcmp(type, "ID") == 0)
      of(userData).dtd_.declareIdAttribute(elementName, attributeName);
  }

  // The first declaration of a name is binding; later ones are ignored.
  static void unparsedEntityDeclaration(void* userData, const XML_Char* name, const XML_Char* base,
                                        const XML_Char* systemId, const XML_Char*,
                                        const XML_Char*) {
    XmlLoader& loader = of(userData);
    loader.dtd_.declareUnparsedEntity(
        name, String(resolveURI(base ? base : "", systemId ? systemId : "")));
  }

  static void endElement(void* userData, const XML_Char*) {
    XmlLoader& loader = of(userData);
    // Whitespace-only text is dropped as it ends (flushText), under the same strip flag
    // the end tag would see: the flag inside an element's content is the one in force
    // when each of its texts ends.
    loader.flushText();
    auto* element = static_cast<ElementNode*>(loader.currentParent_);
    element->markComplete();
    --loader.depth_;
    if (loader.stripping_ != nullptr) {
      loader.spaceModes_.pop_back();
      loader.strip_ = !loader.spaceModes_.empty() && (loader.spaceModes_.back() & kStripText);
    }
    loader.scope_->pop(element);
    loader.currentParent_ = element->parent();
  }

  static void characterData(void* userData, const XML_Char* text, int length) {
    of(userData).pendingText_.append(text, std::size_t(length));
  }

  static void processingInstruction(void* userData, const XML_Char* target, const XML_Char* data) {
    XmlLoader& loader = of(userData);
    if (loader.inDoctype_ || loader.stylesheetRules_)
      return;
    loader.flushText();
    NodeArena& arena = loader.arena_;
    loader.currentParent_->appendChild(arena.make<ProcessingInstructionNode>(
        arena.copyText(target), arena.copyText(data ? data : "")));
  }

  static void comment(void* userData, const XML_Char* text) {
    XmlLoader& loader = of(userData);
    if (loader.inDoctype_ || loader.stylesheetRules_)
      return;
    loader.flushText();
    const char* copy = loader.arena_.copyText(text);
    loader.currentParent_->appendChild(loader.arena_.make<CommentNode>(copy, std::strlen(copy)));
  }

  // Reported before the start tag of the element that declares it, so the namespace
  // node's serial is lower than its element's.
  static void startNamespace(void* userData, const XML_Char* prefix, const XML_Char* uri) {
    XmlLoader& loader = of(userData);
    loader.flushText();
    loader.pendingNamespaces_.push_back(
        loader.arena_.make<NamespaceNode>(intern(prefix ? prefix : ""), intern(uri ? uri : "")));
  }

  static void endNamespace(void*, const XML_Char*) {}

  // The parser reports comments and processing instructions of the internal DTD subset
  // like those of the document, but they are not part of the tree.
  static void startDoctype(void* userData, const XML_Char*, const XML_Char* systemId,
                           const XML_Char*, int) {
    XmlLoader& loader = of(userData);
    loader.inDoctype_ = true;
    loader.subsetSystemId_ = systemId ? systemId : "";
  }
  static void endDoctype(void* userData) { of(userData).inDoctype_ = false; }

  // The external DTD subset, external parameter entities and external general entities:
  // found by locateResource (a local file, or one a catalog maps the identifiers to) and
  // parsed to their end right here. What cannot be read is left out with a warning; the
  // references it would have defined are then warnings too (skippedEntity).
  static int externalEntity(XML_Parser parser, const XML_Char* context, const XML_Char* base,
                            const XML_Char* systemId, const XML_Char* publicId) {
    XmlLoader& loader = *static_cast<XmlLoader*>(XML_GetUserData(parser));
    // The subset comes at the end of the DOCTYPE, once; the parser gives parameter
    // entities no context either.
    bool isSubset = context == nullptr && loader.inDoctype_ && !loader.subsetRequested_ &&
                    systemId != nullptr && loader.subsetSystemId_ == systemId;
    if (isSubset)
      loader.subsetRequested_ = true;
    const char* what = context != nullptr ? kExternalEntity : isSubset ? kDtd : kParameterEntity;
    if (isSubset && !loader.settings_.readExternalSubset) {
      if (loader.unreadPart_.empty())
        loader.unreadPart_ = formatMessage(kNotRead, what, kSubsetTurnedOff);
      return XML_STATUS_OK;
    }
    ResourceRequest request;
    request.publicId = publicId ? publicId : "";
    request.reference = systemId ? systemId : "";
    request.base = base ? base : "";
    request.isEntity = true;
    request.access = loader.entityAccess_;
    request.folder = loader.folder_.view();
    Resource resource;
    try {
      resource = locateResource(loader.settings_, request);
    } catch (const DocumentParseException& failure) {
      loader.fail(failure.text(), failure.location());
      return XML_STATUS_ERROR;
    }
    if (resource.status != ResourceStatus::Found) {
      String reason = formatMessage(kNotRead, what, resource.reason.c_str());
      // A general entity's text is lost: always said. A declaration set that was turned
      // off on purpose shows only where a reference misses it.
      if (context != nullptr || resource.status != ResourceStatus::Refused)
        loader.warn(reason.view());
      if (context == nullptr && loader.unreadPart_.empty())
        loader.unreadPart_ = std::move(reason);
      return XML_STATUS_OK;
    }
    if (isVerbose()) {
      String text("loading ");
      text.append(what).append(" ").append(request.reference).append(" from ").append(
          resource.path);
      note(text.view());
    }
    std::unique_ptr<void, ParserDeleter> entityParser(
        XML_ExternalEntityParserCreate(parser, context, nullptr));
    if (entityParser == nullptr)
      return XML_STATUS_ERROR;
    auto* entity = static_cast<XML_Parser>(entityParser.get());
    XML_SetBase(entity, resource.path.c_str());
    return loader.parseEntity(entity, resource.path) ? XML_STATUS_OK : XML_STATUS_ERROR;
  }

  // A reference to an entity no declaration defines, where the parser leaves the verdict
  // to us: it is one when the DTD was read in full, else the declaration may be in what
  // was not read.
  static void skippedEntity(void* userData, const XML_Char* name, int isParameterEntity) {
    XmlLoader& loader = of(userData);
    if (isParameterEntity)
      return;
    if (loader.unreadPart_.empty()) {
      loader.recordHere(formatMessage(kUndefinedEntity, name));
      loader.stop();
      return;
    }
    if (loader.reportedEntities_.insert(name).second)
      loader.warn(formatMessage(kUndefinedEntityUnread, name, loader.unreadPart_.c_str()).view());
  }
};

bool XmlLoader::parseEntity(void* entityParser, const String& path) {
  auto* entity = static_cast<XML_Parser>(entityParser);
  FileDescriptor file;
  if (!file.openForReading(path.c_str())) {
    fail(formatMessage(kCouldNotReadReason, path.c_str(), std::strerror(errno)));
    return false;
  }
  // Messages and warnings from inside the entity name its file and lines.
  void* outerParser = currentParser_;
  const String* outerFile = currentFile_;
  currentParser_ = entity;
  currentFile_ = &path;
  InputDecoder decoder;
  bool started = false, ok = true;
  auto buffer = std::make_unique_for_overwrite<char[]>(kEntityBufferSize);
  for (;;) {
    std::ptrdiff_t got = file.readFully(buffer.get(), kEntityBufferSize);
    if (got < 0) {
      fail(formatMessage(kCouldNotReadReason, path.c_str(), std::strerror(errno)));
      ok = false;
      break;
    }
    std::size_t count = std::size_t(got);
    bool final = count < kEntityBufferSize;
    if (!decoder.decode(buffer.get(), count, final))
      continue;
    if (!started && decoder.parserEncoding() != nullptr)
      XML_SetEncoding(entity, decoder.parserEncoding());
    started = true;
    XML_Status status = parseDecoded(entity, decoder, final);
    if (status != XML_STATUS_OK || !decoder.failure().empty()) {
      recordHere(status != XML_STATUS_OK ? errorText(entity) : decoder.failure());
      ok = false;
      break;
    }
    if (final)
      break;
  }
  currentParser_ = outerParser;
  currentFile_ = outerFile;
  return ok;
}

void XmlLoader::fail(const String& text, const SourceLocation& where) {
  // The innermost report wins: the entities around it only say that it failed.
  if (failure_.empty()) {
    failure_ = text;
    failureWhere_ = where;
  }
  stop();
}

void XmlLoader::stop() {
  XML_StopParser(static_cast<XML_Parser>(currentParser_), XML_FALSE);
}

void XmlLoader::recordHere(const String& reason) {
  if (!failure_.empty())
    return;
  auto* parser = static_cast<XML_Parser>(currentParser_);
  failure_ = reason;
  failureWhere_ = SourceLocation{*currentFile_, std::int32_t(XML_GetCurrentLineNumber(parser)),
                                 std::int32_t(XML_GetCurrentColumnNumber(parser)) + 1};
}

void XmlLoader::warn(std::string_view text) const {
  auto line = std::int32_t(XML_GetCurrentLineNumber(static_cast<XML_Parser>(currentParser_)));
  warning({*currentFile_, line}, text);
}

String XmlLoader::errorText(void* parser) const {
  auto* xmlParser = static_cast<XML_Parser>(parser);
  XML_Error code = XML_GetErrorCode(xmlParser);
  String text(XML_ErrorString(code));
  if (code == XML_ERROR_TAG_MISMATCH)
    text.append(mismatchDetails(parser));
  // The parser does not say which entity; the input at the error does.
  if (code == XML_ERROR_UNDEFINED_ENTITY) {
    int offset = 0, size = 0;
    const char* context = XML_GetInputContext(xmlParser, &offset, &size);
    if (context != nullptr && offset >= 0 && offset < size && context[offset] == '&') {
      std::string_view rest(context + offset + 1, std::size_t(size - offset - 1));
      std::size_t end = rest.find(';');
      if (end != std::string_view::npos && end > 0)
        text = formatMessage(kUndefinedEntity, std::string(rest.substr(0, end)).c_str());
    }
  }
  return text;
}

// ---- Loader ----

static String withReason(const char* prefix, const String& name, int error) {
  return String(prefix).append(name).append(": ").append(std::strerror(error));
}

XmlLoader::XmlLoader(Document& document, Input input, RootNode* root,
                     const WhitespaceStripping* stripping)
    : settings_(document.settings()), basePath_(document.baseURI()),
      folder_(directoryOf(basePath_)), arena_(document.arena()), dtd_(document.dtd()),
      fileName_(document.fileName()), bufferSize_(document.bufferSize()), stream_(input.stream),
      fromMemory_(input.fromMemory), memory_(std::move(input.memory)),
      decoder_(document.readsStylesheet() ? std::string_view() : settings_.encoding),
      entityAccess_(document.readsStylesheet() ? settings_.stylesheetEntityAccess
                                               : settings_.entityAccess),
      currentParent_(root),
      stylesheetRules_(document.readsStylesheet()), stripping_(stripping) {
  if (!fromMemory_) {
    if (stream_ == nullptr) {
      String path = fileName_;
      if (!uriScheme(fileName_.view()).empty()) {
        // A document named by a URI is read from the local file it names, or the one a
        // catalog maps it to.
        ResourceRequest request;
        request.reference = fileName_.view();
        Resource found = locateResource(settings_, request);
        if (found.status == ResourceStatus::Network)
          throw DocumentParseException(std::move(found.reason));
        if (found.status == ResourceStatus::Found) {
          path = std::move(found.path);
          folder_ = directoryOf(path);
        }
      }
      if (!file_.openForReading(path.c_str()))
        throw DocumentParseException(withReason(kCouldNotOpen, fileName_, errno));
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
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_UNLESS_STANDALONE);
  XML_SetExternalEntityRefHandler(parser, Callbacks::externalEntity);
  XML_SetSkippedEntityHandler(parser, Callbacks::skippedEntity);
  // Relative system identifiers resolve against the file that declares them.
  XML_SetBase(parser, basePath_.c_str());
  currentParser_ = parser;
  currentFile_ = &fileName_;
  scope_ = std::make_unique<NamespaceScope>();
}

XmlLoader::~XmlLoader() = default;

void XmlLoader::ParserDeleter::operator()(void* parser) const {
  XML_ParserFree(static_cast<XML_Parser>(parser));
}

const char* XmlLoader::read(std::size_t& count) {
  if (fromMemory_) {
    count = std::min(bufferSize_, memory_.size() - memoryOffset_);
    const char* chunk = memory_.data() + memoryOffset_;
    memoryOffset_ += count;
    return chunk;
  }
  if (file_.isOpen()) {
    // A directory opens and fails only here.
    std::ptrdiff_t got = file_.readFully(buffer_.get(), bufferSize_);
    if (got < 0)
      throw DocumentParseException(withReason(kCouldNotRead, fileName_, errno));
    count = std::size_t(got);
    return buffer_.get();
  }
  count = std::fread(buffer_.get(), 1, bufferSize_, stream_);
  if (count < bufferSize_ && std::ferror(stream_))
    throw DocumentParseException(withReason(kCouldNotRead, fileName_, errno));
  return buffer_.get();
}

void XmlLoader::flushText() {
  if (pendingText_.empty())
    return;
  if (!(strip_ && isWhitespaceOnly(pendingText_))) {
    const char* text = arena_.copyText(pendingText_);
    currentParent_->appendChild(arena_.make<TextNode>(text, pendingText_.size()));
  }
  pendingText_.clear();
}

bool XmlLoader::parseChunk() {
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
  parsing_ = true;
  XML_Status status = parseDecoded(parser, decoder_, final);
  parsing_ = false;
  if (status != XML_STATUS_OK || !decoder_.failure().empty()) {
    recordHere(status != XML_STATUS_OK ? errorText(parser) : decoder_.failure());
    String message = std::move(failure_);
    // What was read before the error stays in the tree and usable.
    flushText();
    throw DocumentParseException(std::move(failureWhere_), std::move(message));
  }
  return !final;
}

String XmlLoader::mismatchDetails(void* parser) const {
  if (currentParent_ == nullptr || currentParent_->kind() != NodeKind::Element)
    return String();
  // The parser stops at the end tag that does not match; its name is read from the
  // input around that place.
  int offset = 0;
  int size = 0;
  const char* context = XML_GetInputContext(static_cast<XML_Parser>(parser), &offset, &size);
  if (context == nullptr || offset > size)
    return String();
  // The place is the end tag's "</" or the name after it.
  int start = offset;
  while (start > 0 && offset - start < 2 && !(context[start] == '<' && context[start + 1] == '/'))
    --start;
  if (start + 2 > size || context[start] != '<' || context[start + 1] != '/')
    return String();
  const char* name = context + start + 2;
  int length = 0;
  while (start + 2 + length < size && std::strchr(" \t\r\n>", name[length]) == nullptr)
    ++length;
  auto* element = static_cast<const ElementNode*>(currentParent_);
  String written;
  if (!element->prefix().empty())
    written.append(element->prefix()).append(":");
  written.append(element->localName());
  return formatMessage(kExpectedEndTag, written.c_str(), written.c_str(), element->lineNumber(),
                       length, name);
}

const char* XmlLoader::parserVersion() {
  return XML_ExpatVersion();
}

}  // namespace ovra
