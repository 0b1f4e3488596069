// XML catalogs (OASIS XML Catalogs 1.1, urn:oasis:names:tc:entity:xmlns:xml:catalog):
// files that map public identifiers, system identifiers and URIs to other URIs, mostly to
// local copies of DTDs and stylesheets published on the web. A CatalogSet reads its files
// at the first lookup that needs them and keeps them; lookups may come from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra {

class Node;

class CatalogSet {
 public:
  // files: catalog files (paths or file: URIs), consulted in this order. A file that
  // does not exist is skipped; one that is not a catalog is skipped with a warning.
  explicit CatalogSet(std::vector<std::string> files);
  CatalogSet(const CatalogSet&) = delete;
  CatalogSet& operator=(const CatalogSet&) = delete;
  ~CatalogSet();

  // The files of XML_CATALOG_FILES (separated by spaces), or else /etc/xml/catalog.
  static std::vector<std::string> defaultFiles();

  // The URI the catalogs map an external identifier to (either part may be empty); empty
  // when none does. Throws DocumentParseException when nextCatalog or delegate entries
  // lead back to a catalog they come from.
  std::string resolveExternalId(std::string_view publicId, std::string_view systemId) const;
  // The URI the catalogs map a URI reference to; empty when none does. Throws as above.
  std::string resolveURI(std::string_view uri) const;

  const std::vector<std::string>& files() const { return files_; }

 private:
  struct Entry;
  struct File;
  class Lookup;

  // The entries of the catalog file at uri, read at the first request. Called with
  // mutex_ held.
  const File& load(const std::string& uri) const;
  // Appends the entries parent (a catalog or group element) holds, in document order;
  // base and preferPublic are what parent inherits.
  static void readEntries(Node* parent, const std::string& base, bool preferPublic,
                          std::vector<Entry>& entries);

  std::vector<std::string> files_;  // as URIs
  mutable std::mutex mutex_;
  mutable std::unordered_map<std::string, std::unique_ptr<File>> loaded_;  // by URI
};

}  // namespace ovra
