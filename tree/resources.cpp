// Looking up external resources: the local file first (as xsltproc does), then the
// catalogs, then the access setting.
#include "tree/resources.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "tree/catalog.h"
#include "tree/uri.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace ovra {

static constexpr const char* kNoNetwork =
    "%s: ovra reads no network resources (an XML catalog can map it to a local file)";
static constexpr const char* kTurnedOff = "%s: reading external files is turned off";
static constexpr const char* kOutsideFolder = "%s: outside the folder of the document";
static constexpr const char* kNotAFile = "%s: not a regular file";
static constexpr const char* kUnreadable = "%s: %s";

namespace {

std::mutex defaultsMutex;

std::shared_ptr<const LoadSettings>& currentDefaults() {
  static std::shared_ptr<const LoadSettings> settings = [] {
    auto made = std::make_shared<LoadSettings>();
    made->catalogs = std::make_shared<CatalogSet>(CatalogSet::defaultFiles());
    return made;
  }();
  return settings;
}

}  // namespace

std::shared_ptr<const LoadSettings> LoadSettings::defaults() {
  std::lock_guard<std::mutex> lock(defaultsMutex);
  return currentDefaults();
}

void LoadSettings::setDefaults(std::shared_ptr<const LoadSettings> settings) {
  std::lock_guard<std::mutex> lock(defaultsMutex);
  currentDefaults() = std::move(settings);
}

std::shared_ptr<const LoadSettings> LoadSettings::from(const Settings& settings) {
  auto made = std::make_shared<LoadSettings>();
  made->entityAccess = settings.externalAccess;
  made->documentAccess = settings.externalAccess;
  made->readExternalSubset = settings.loadExternalDtd;
  made->defaultAttributes = settings.dtdDefaultAttributes;
  made->maxDepth = settings.maxParserDepth;
  made->encoding = settings.inputEncoding;
  made->searchPath = settings.searchPath;
  std::vector<std::string> files;
  if (settings.useCatalogs) {
    if (const char* sgml = std::getenv("SGML_CATALOG_FILES")) {
      std::string_view list(sgml);
      while (!list.empty()) {
        std::size_t end = list.find_first_of(" :");
        if (end != 0)
          files.emplace_back(list.substr(0, end));
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
      }
    }
  }
  for (std::string& file : CatalogSet::defaultFiles())
    files.push_back(std::move(file));
  made->catalogs = std::make_shared<CatalogSet>(std::move(files));
  return made;
}

namespace {

// 0 for a regular file, else the errno that stat gave or EISDIR-like for other kinds.
int fileState(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0)
    return errno;
  return S_ISREG(status.st_mode) ? 0 : -1;
}

// The lexically normal form of an absolute path.
std::string normalPath(const std::string& path) {
  return std::filesystem::path(path).lexically_normal().string();
}

}  // namespace

Resource locateResource(const LoadSettings& settings, const ResourceRequest& request) {
  const CatalogSet* catalogs = settings.catalogs.get();
  Resource resource;
  std::string absolute = resolveURI(request.base, request.reference);
  if (request.access == ExternalAccess::Nothing) {
    resource.status = ResourceStatus::Refused;
    resource.reason = formatMessage(kTurnedOff, absolute.c_str());
    return resource;
  }
  std::optional<std::string> path = localPath(absolute);
  int state = path ? fileState(*path) : ENOENT;
  if (state != 0 && catalogs != nullptr) {
    // Entities by their identifiers, then by URI; URI references the other way round
    // (xsltproc looks both up for either).
    std::string mapped;
    auto lookUpIds = [&] {
      if (mapped.empty())
        mapped = catalogs->resolveExternalId(request.publicId, request.reference);
      if (mapped.empty() && absolute != request.reference)
        mapped = catalogs->resolveExternalId({}, absolute);
    };
    auto lookUpURI = [&] {
      if (mapped.empty())
        mapped = catalogs->resolveURI(request.reference);
      if (mapped.empty() && absolute != request.reference)
        mapped = catalogs->resolveURI(absolute);
    };
    if (request.isEntity) {
      lookUpIds();
      lookUpURI();
    } else {
      lookUpURI();
      lookUpIds();
    }
    if (!mapped.empty()) {
      absolute = mapped;
      path = localPath(absolute);
      state = path ? fileState(*path) : ENOENT;
    }
  }
  if (state != 0 && !settings.searchPath.empty()) {
    // The last segment of the reference, in each folder of the search path.
    std::string_view name(absolute);
    name = name.substr(0, name.find_first_of("?#"));
    name = name.substr(name.rfind('/') + 1);
    for (const std::string& folder : settings.searchPath) {
      if (name.empty())
        break;
      std::string candidate = folder + "/" + std::string(name);
      if (fileState(candidate) == 0) {
        path = std::filesystem::absolute(candidate).string();
        state = 0;
        break;
      }
    }
  }
  if (!path) {
    resource.status = isNetworkURI(absolute) ? ResourceStatus::Network : ResourceStatus::Missing;
    resource.reason = resource.status == ResourceStatus::Network
                          ? formatMessage(kNoNetwork, absolute.c_str())
                          : formatMessage(kUnreadable, absolute.c_str(), std::strerror(ENOENT));
    return resource;
  }
  std::string file = normalPath(*path);
  if (state != 0) {
    resource.status = ResourceStatus::Missing;
    resource.reason = state < 0 ? formatMessage(kNotAFile, file.c_str())
                                : formatMessage(kUnreadable, file.c_str(), std::strerror(state));
    return resource;
  }
  if (request.access == ExternalAccess::DocumentFolder && !isInsideFolder(file, request.folder)) {
    resource.status = ResourceStatus::Refused;
    resource.reason = formatMessage(kOutsideFolder, file.c_str());
    return resource;
  }
  resource.status = ResourceStatus::Found;
  resource.path = String(file);
  return resource;
}

}  // namespace ovra
