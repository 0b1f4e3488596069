// The Document: the tree of one input, opened, read and released through its loader.
#include "tree/document.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "base/platform.h"
#include "tree/node.h"
#include "tree/uri.h"
#include "tree/xml_loader.h"

#include <cassert>
#include <climits>

namespace ovra {

// ---- Document ----

WhitespaceStripping::~WhitespaceStripping() = default;

void Document::setStripping(const WhitespaceStripping* rules) {
  // A document being read keeps the rules it started with.
  if (state_ == State::NotOpened)
    stripping_ = rules;
}

Document::Document(String fileName, std::size_t bufferSize, bool strip)
    : fileName_(std::move(fileName)),
      bufferSize_(bufferSize == 0 ? 1 : bufferSize),  // an empty chunk would never be final
      stylesheetRules_(strip), settings_(LoadSettings::defaults()) {
  assert(bufferSize_ <= std::size_t(INT_MAX) && "the parser takes an int length");
}

std::unique_ptr<Document> Document::fromText(std::string text, String fileName,
                                             std::size_t bufferSize, bool strip) {
  auto document = std::make_unique<Document>(std::move(fileName), bufferSize, strip);
  document->fromMemory_ = true;
  document->memory_ = std::move(text);
  // Text held in memory (tests, fuzzing, embedding) has no folder of its own: it reads
  // external entities only where the caller says so.
  auto settings = std::make_shared<LoadSettings>(*document->settings_);
  settings->entityAccess = ExternalAccess::Nothing;
  settings->stylesheetEntityAccess = ExternalAccess::Nothing;
  document->settings_ = std::move(settings);
  return document;
}

std::unique_ptr<Document> Document::fromStream(std::FILE* stream, String name,
                                               std::size_t bufferSize, bool strip) {
  auto document = std::make_unique<Document>(std::move(name), bufferSize, strip);
  document->stream_ = stream;
  return document;
}

Document::~Document() = default;

void Document::setSettings(std::shared_ptr<const LoadSettings> settings) {
  assert(state_ == State::NotOpened && "the settings of a document being read changed");
  settings_ = std::move(settings);
}

void Document::open() {
  if (isVerbose())
    reportLoading();
  // root_ is set only once the input has opened: a missing file leaves it null.
  XmlLoader::Input input{fromMemory_, std::move(memory_), stream_};
  RootNode* root = arena_.make<RootNode>(this);
  loader_ = std::make_unique<XmlLoader>(*this, std::move(input), root, stripping_);
  root_ = root;
  state_ = State::Open;
}

String Document::baseURI() const {
  return uriScheme(fileName_.view()).empty() ? fullPathName(fileName_) : String(fileName_);
}

void Document::reportLoading() const {
  String text(stylesheetRules_ ? "loading stylesheet " : "loading document ");
  text.append(fileName_);
  if (stream_ != nullptr) {
    text.append(" from a stream");
  } else if (fromMemory_) {
    text.append(" from memory");
  } else {
    text.append(" from ");
    text.append(fullPathName(fileName_));
  }
  note(text.view());
}

void Document::close() {
  if (loader_ != nullptr)
    chunksParsed_ = loader_->chunksParsed();
  loader_.reset();
  stream_ = nullptr;
  memory_ = std::string();
  state_ = State::Finished;
}

std::size_t Document::chunksParsed() const {
  return loader_ != nullptr ? loader_->chunksParsed() : chunksParsed_;
}

bool Document::parseChunk() {
  assert(!(loader_ != nullptr && loader_->isParsing()) &&
         "a parser callback navigated into the tree being built");
  if (state_ == State::Finished)
    return false;
  // An input that cannot be opened stays unopened: asking again reports it again.
  if (state_ == State::NotOpened)
    open();
  try {
    if (loader_->parseChunk())
      return true;
  } catch (...) {
    close();
    throw;
  }
  close();
  return false;
}

void Document::parseAll() {
  while (parseChunk()) {
  }
}

Node* Document::elementById(std::string_view value) {
  for (;;) {
    if (ElementNode* found = dtd_.elementById(value))
      return found;
    // Once the document element has begun, no declaration can come any more.
    if (dtd_.isComplete() && !dtd_.hasIdAttributes())
      return nullptr;
    if (!parseChunk())
      return dtd_.elementById(value);
  }
}

const String* Document::unparsedEntityURI(std::string_view name) const {
  return dtd_.unparsedEntityURI(name);
}

const char* Document::parserVersion() {
  return XmlLoader::parserVersion();
}

}  // namespace ovra
