// What documents may read besides themselves (their DTDs and external entities, the
// documents document() opens, the modules a stylesheet imports), and where a reference to
// one leads: to a local file, directly or through the XML catalogs, never to the network.
#pragma once

#include "base/settings.h"
#include "base/string.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

class CatalogSet;

// Shared by a document and every document it leads to; not changed once in use.
struct LoadSettings {
  // The external DTD subset and external entities of a source document (and of the
  // documents document() opens, which inherit documentAccess here).
  ExternalAccess entityAccess = ExternalAccess::Anywhere;
  // Those of a document read as a stylesheet module.
  ExternalAccess stylesheetEntityAccess = ExternalAccess::Anywhere;
  // The documents document() opens from this one.
  ExternalAccess documentAccess = ExternalAccess::Anywhere;
  bool readExternalSubset = true;  // false: the external DTD subset is left unread
  bool defaultAttributes = true;   // the attribute defaults the DTD declares are added
  std::int32_t maxDepth = 0;       // the deepest element nesting allowed; 0: no limit
  // The encoding source documents are read in, whatever they declare; empty: as
  // declared. Stylesheets and the documents document() opens are read as they declare.
  std::string encoding;
  // Folders where a file not found where its reference points is looked for last.
  std::vector<std::string> searchPath;
  std::shared_ptr<const CatalogSet> catalogs;  // null: no catalogs

  // The settings documents take unless given others: at first, any file with the catalogs
  // CatalogSet::defaultFiles() names (read from the environment once).
  static std::shared_ptr<const LoadSettings> defaults();
  // Replaces them for documents made afterwards (the program's options, an embedding
  // program's choice).
  static void setDefaults(std::shared_ptr<const LoadSettings> settings);
  // What the loading part of settings asks for.
  static std::shared_ptr<const LoadSettings> from(const Settings& settings);
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
// catalogs of settings are asked, then the folders of its search path. Only regular files
// are found: a device or a pipe could keep a reader waiting for ever. Throws
// DocumentParseException when the catalogs refer to each other in a circle.
Resource locateResource(const LoadSettings& settings, const ResourceRequest& request);

}  // namespace ovra
