#include "tree/document_registry.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "tree/document.h"
#include "tree/resources.h"
#include "tree/uri.h"

#include <utility>

namespace ovra {

DocumentRegistry::DocumentRegistry(const WhitespaceStripping* stripping) : stripping_(stripping) {}

DocumentRegistry::~DocumentRegistry() = default;

Document* DocumentRegistry::adopt(std::unique_ptr<Document> document) {
  owned_.push_back(std::move(document));
  return owned_.back().get();
}

Document* DocumentRegistry::load(std::string_view reference, const Document& base, String& reason) {
  const LoadSettings& settings = base.settings();
  String basePath = base.baseURI();
  String folder = directoryOf(basePath);
  // As a file: URI the base makes %-escapes of relative references decode too; a base
  // that is a URI already (a document named by one) stays as it is.
  std::string baseURI =
      uriScheme(basePath.view()).empty() ? fileURI(basePath.view()) : std::string(basePath.view());
  ResourceRequest request;
  request.reference = reference;
  request.base = baseURI;
  request.access = settings.documentAccess;
  request.folder = folder.view();
  Resource found = locateResource(settings, request);
  // A refusal is the policy of whoever runs the transformation (untrusted input), not a
  // file that happens to be missing: it ends the run.
  if (found.status == ResourceStatus::Refused)
    throw DocumentParseException(std::move(found.reason));
  if (found.status != ResourceStatus::Found) {
    reason = std::move(found.reason);
    return nullptr;
  }
  std::string key(found.path.view());
  auto known = byPath_.find(key);
  if (known != byPath_.end())
    return known->second;
  auto document = std::make_unique<Document>(found.path, Document::kRegistryBufferSize, false);
  document->setStripping(stripping_);
  // What document() opens reads its own entities under the rule for document(), in the
  // encoding it declares.
  if (settings.entityAccess == settings.documentAccess && settings.encoding.empty()) {
    document->setSettings(base.sharedSettings());
  } else {
    auto opened = std::make_shared<LoadSettings>(settings);
    opened->entityAccess = settings.documentAccess;
    opened->encoding.clear();
    document->setSettings(std::move(opened));
  }
  try {
    document->open();
  } catch (const DocumentParseException& error) {
    // Where in the document the parser stopped, when it got that far.
    reason = error.location().file.empty() ? error.text()
                                           : formatLocation(error.location()).append(error.text());
    return nullptr;
  }
  Document* loaded = adopt(std::move(document));
  byPath_.emplace(std::move(key), loaded);
  return loaded;
}

}  // namespace ovra
