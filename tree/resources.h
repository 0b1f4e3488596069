// What documents may read besides themselves (their DTDs and external entities, the
// documents document() opens, the modules a stylesheet imports), and where a reference to
// one leads: to a local file, directly or through the XML catalogs, never to the network.
#pragma once

#include "base/string.h"

#include <memory>
#include <string>
#include <string_view>

namespace ovra {

class CatalogSet;

enum class ExternalAccess {
  Anywhere = 0,        // any local file
  DocumentFolder = 1,  // files in the folder of the document that refers to them, or below
  Nothing = 2,         // no file at all
};

// Shared by a document and every document it leads to; not changed once in use.
struct LoadSettings {
  // The external DTD subset and external entities of a document.
  ExternalAccess entityAccess = ExternalAccess::Anywhere;
  // The documents document() opens from this one, and everything those read.
  ExternalAccess documentAccess = ExternalAccess::Anywhere;
  std::shared_ptr<const CatalogSet> catalogs;  // null: no catalogs

  // Anywhere, with the catalogs CatalogSet::defaultFiles() names (read from the
  // environment once).
  static const std::shared_ptr<const LoadSettings>& standard();
};

enum class ResourceStatus {
  Found = 0,
  Missing = 1,  // a local file that does not exist or cannot be read
  Network = 2,  // a URI only a network could deliver, which no catalog maps
  Refused = 3,  // the access setting does not allow it
};

struct Resource {
  ResourceStatus status = ResourceStatus::Missing;
  String path;    // Found: the local file, an absolute path
  String reason;  // otherwise: what it is and why it cannot be read, for a message
};

// One reference to look up.
struct ResourceRequest {
  std::string_view publicId;   // of an entity; empty for a URI reference
  std::string_view reference;  // the system identifier or URI reference as written
  std::string_view base;       // absolute path or URI of what holds the reference
  bool isEntity = false;       // an entity or DTD: system and public entries first
  ExternalAccess access = ExternalAccess::Anywhere;
  std::string_view folder;  // with DocumentFolder: the folder (ending in '/') files must be in
};

// Finds the file a reference names. A local file that exists is taken as it is; else the
// catalogs (when not null) are asked. Only regular files are found: a device or a pipe
// could keep a reader waiting for ever. Throws DocumentParseException when the catalogs
// refer to each other in a circle.
Resource locateResource(const CatalogSet* catalogs, const ResourceRequest& request);

}  // namespace ovra
