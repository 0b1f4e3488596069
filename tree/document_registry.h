// The documents one transformation (or one XPath-mode session) reads besides its source:
// those document() names, one Document per file, kept until the registry goes.
#pragma once

#include "base/string.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra {

class Document;
class WhitespaceStripping;

class DocumentRegistry {
 public:
  // stripping, when not null, is applied to every document loaded here and outlives it.
  explicit DocumentRegistry(const WhitespaceStripping* stripping = nullptr);
  DocumentRegistry(const DocumentRegistry&) = delete;
  DocumentRegistry& operator=(const DocumentRegistry&) = delete;
  ~DocumentRegistry();

  // Takes over a Document made elsewhere (the XPath mode's source).
  Document* adopt(std::unique_ptr<Document> document);

  // The document that reference names, relative to base (the document it was written
  // in), opened but not yet parsed: the same Document for the same file every time.
  // The file is found as locateResource() finds it (a local file or a file: URI, %-escapes
  // decoded, through base's catalogs, within base's documentAccess); the loaded document
  // inherits base's settings. Null when it cannot be read, with the reason (what and why,
  // the system's reason for a file) in reason; a later call tries again. Throws
  // DocumentParseException when base's documentAccess refuses the file.
  Document* load(std::string_view reference, const Document& base, String& reason);

  // How many documents the registry has loaded or adopted.
  std::size_t size() const { return owned_.size(); }

 private:
  const WhitespaceStripping* stripping_;
  std::vector<std::unique_ptr<Document>> owned_;
  std::unordered_map<std::string, Document*> byPath_;
};

}  // namespace ovra
