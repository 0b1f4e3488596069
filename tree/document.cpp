#include "tree/document.h"

#include "base/exceptions.h"
#include "tree/node.h"

namespace ovra {

// Placeholder until the expat loader lands.
Document::Document(String fileName, std::size_t bufferSize, bool strip)
    : fileName_(std::move(fileName)), bufferSize_(bufferSize), strip_(strip) {}

Document::~Document() = default;

void Document::ParserDeleter::operator()(void*) const {}
void Document::FileCloser::operator()(std::FILE* file) const {
  std::fclose(file);
}

bool Document::parseChunk() {
  throw DocumentParseException(String("Could not open file, ").append(fileName_));
}

// Placeholder until the registry lands with the loader: nothing is ever opened yet.
void DocumentRegistry::closeAll() {}

}  // namespace ovra
