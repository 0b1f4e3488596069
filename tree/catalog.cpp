// Reading catalog files into entry lists and the resolution of OASIS XML Catalogs 1.1
// sections 7.1.2 (external identifiers) and 7.2.2 (URIs).
#include "tree/catalog.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "base/platform.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/resources.h"
#include "tree/uri.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace ovra {

static constexpr const char* kCatalogLoop = "XML catalogs refer to each other in a circle: ";
static constexpr const char* kNotACatalog = "not an XML catalog, ignored";
static constexpr const char* kUnreadableCatalog = "XML catalog ignored: ";

static constexpr std::string_view kCatalogNamespace = "urn:oasis:names:tc:entity:xmlns:xml:catalog";
static constexpr std::string_view kPublicIdURN = "urn:publicid:";
static constexpr std::size_t kCatalogBufferSize = 16384;

namespace {

enum class EntryKind {
  Public = 0,
  System = 1,
  Uri = 2,
  RewriteSystem = 3,
  RewriteUri = 4,
  SystemSuffix = 5,
  UriSuffix = 6,
  DelegatePublic = 7,
  DelegateSystem = 8,
  DelegateUri = 9,
  NextCatalog = 10,
};

struct EntrySyntax {
  const char* element;
  EntryKind kind;
  const char* match;   // the attribute an identifier is matched against; null for none
  const char* target;  // the attribute naming the result, the rewrite prefix or a catalog
};

constexpr EntrySyntax kEntrySyntax[] = {
    {"public", EntryKind::Public, "publicId", "uri"},
    {"system", EntryKind::System, "systemId", "uri"},
    {"uri", EntryKind::Uri, "name", "uri"},
    {"rewriteSystem", EntryKind::RewriteSystem, "systemIdStartString", "rewritePrefix"},
    {"rewriteURI", EntryKind::RewriteUri, "uriStartString", "rewritePrefix"},
    {"systemSuffix", EntryKind::SystemSuffix, "systemIdSuffix", "uri"},
    {"uriSuffix", EntryKind::UriSuffix, "uriSuffix", "uri"},
    {"delegatePublic", EntryKind::DelegatePublic, "publicIdStartString", "catalog"},
    {"delegateSystem", EntryKind::DelegateSystem, "systemIdStartString", "catalog"},
    {"delegateURI", EntryKind::DelegateUri, "uriStartString", "catalog"},
    {"nextCatalog", EntryKind::NextCatalog, nullptr, "catalog"},
};

bool isPublicIdURN(std::string_view text) {
  if (text.size() < kPublicIdURN.size())
    return false;
  for (std::size_t i = 0; i < kPublicIdURN.size(); ++i) {
    char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != kPublicIdURN[i])
      return false;
  }
  return true;
}

// Public identifiers compare with white space collapsed (section 6.2).
std::string normalizePublicId(std::string_view id) {
  std::string normalized;
  for (char c : id) {
    bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (!space)
      normalized += c;
    else if (!normalized.empty() && normalized.back() != ' ')
      normalized += ' ';
  }
  if (!normalized.empty() && normalized.back() == ' ')
    normalized.pop_back();
  return normalized;
}

// System identifiers and URIs compare with the characters a URI cannot hold escaped
// (section 6.3).
std::string normalizeURI(std::string_view uri) {
  return escapeURI(uri);
}

// A urn:publicid: URN turned back into the public identifier it wraps (section 6.4).
std::string unwrapURN(std::string_view urn) {
  std::string_view text = urn.substr(kPublicIdURN.size());
  struct Escape {
    std::string_view from;
    std::string_view to;
  };
  static constexpr Escape kEscapes[] = {{"%2B", "+"}, {"%3A", ":"}, {"%2F", "/"}, {"%3B", ";"},
                                        {"%27", "'"}, {"%3F", "?"}, {"%23", "#"}, {"%25", "%"},
                                        {"+", " "},   {":", "//"},  {";", "::"}};
  std::string id;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const Escape& escape : kEscapes) {
      if (text.substr(i, escape.from.size()) == escape.from ||
          (escape.from.size() == 3 && escape.from[0] == '%' && i + 3 <= text.size() &&
           text[i] == '%' && std::toupper(text[i + 1]) == escape.from[1] &&
           std::toupper(text[i + 2]) == escape.from[2])) {
        id += escape.to;
        i += escape.from.size();
        replaced = true;
        break;
      }
    }
    if (!replaced)
      id += text[i++];
  }
  return id;
}

const char* attributeValue(Node* element, std::string_view namespaceURI, std::string_view name) {
  for (Node* node = element->firstAttribute(); node != nullptr; node = node->rawNextSibling()) {
    if (node->localName().view() == name && node->namespaceURI().view() == namespaceURI)
      return static_cast<AttributeNode*>(node)->value();
  }
  return nullptr;
}

}  // namespace

struct CatalogSet::Entry {
  EntryKind kind;
  std::string match;   // normalized identifier, start string or suffix
  std::string target;  // absolute URI: the mapped resource, the rewrite prefix or a catalog
  bool preferPublic;   // public entries apply also when a system identifier is given
};

struct CatalogSet::File {
  std::vector<Entry> entries;  // in document order, groups flattened
};

// ---- Lookup ----

// One resolution over the catalog files, with the files being consulted kept on a stack
// so that a circle of nextCatalog or delegate entries is found rather than followed.
class CatalogSet::Lookup {
 public:
  enum class Outcome { NoMatch, Found, Failed };

  explicit Lookup(const CatalogSet& set) : set_(set) {}

  Outcome externalId(const std::string& catalog, const std::string& publicId,
                     const std::string& systemId) {
    const File& file = enter(catalog);
    Outcome outcome = externalIdIn(file, publicId, systemId);
    if (outcome == Outcome::NoMatch) {
      for (const Entry& entry : file.entries) {
        if (entry.kind == EntryKind::NextCatalog &&
            (outcome = externalId(entry.target, publicId, systemId)) != Outcome::NoMatch)
          break;
      }
    }
    stack_.pop_back();
    return outcome;
  }

  Outcome uri(const std::string& catalog, const std::string& uri) {
    const File& file = enter(catalog);
    Outcome outcome = uriIn(file, uri);
    if (outcome == Outcome::NoMatch) {
      for (const Entry& entry : file.entries) {
        if (entry.kind == EntryKind::NextCatalog &&
            (outcome = this->uri(entry.target, uri)) != Outcome::NoMatch)
          break;
      }
    }
    stack_.pop_back();
    return outcome;
  }

  const std::string& result() const { return result_; }

 private:
  const File& enter(const std::string& catalog) {
    if (std::find(stack_.begin(), stack_.end(), catalog) != stack_.end()) {
      String message(kCatalogLoop);
      for (const std::string& file : stack_)
        message.append(file).append(" -> ");
      message.append(catalog);
      throw DocumentParseException(std::move(message));
    }
    stack_.push_back(catalog);
    return set_.load(catalog);
  }

  Outcome found(std::string uri) {
    result_ = std::move(uri);
    return Outcome::Found;
  }

  // The entry of kind whose match is the longest start (or end) of text; null if none.
  static const Entry* longest(const File& file, EntryKind kind, const std::string& text,
                              bool suffix) {
    const Entry* best = nullptr;
    for (const Entry& entry : file.entries) {
      if (entry.kind != kind || entry.match.size() > text.size() ||
          (best != nullptr && entry.match.size() <= best->match.size()))
        continue;
      std::string_view part(text);
      part = suffix ? part.substr(text.size() - entry.match.size())
                    : part.substr(0, entry.match.size());
      if (part == entry.match)
        best = &entry;
    }
    return best;
  }

  // The catalogs of the delegate entries of kind that match text, longest match first;
  // resolution goes on in them alone.
  template <class Resolve>
  Outcome delegate(const File& file, EntryKind kind, const std::string& text, Resolve resolve) {
    std::vector<const Entry*> delegates;
    for (const Entry& entry : file.entries) {
      if (entry.kind == kind && text.compare(0, entry.match.size(), entry.match) == 0)
        delegates.push_back(&entry);
    }
    if (delegates.empty())
      return Outcome::NoMatch;
    std::stable_sort(delegates.begin(), delegates.end(), [](const Entry* a, const Entry* b) {
      return a->match.size() > b->match.size();
    });
    std::vector<std::string> catalogs;
    for (const Entry* entry : delegates) {
      if (std::find(catalogs.begin(), catalogs.end(), entry->target) == catalogs.end())
        catalogs.push_back(entry->target);
    }
    for (const std::string& catalog : catalogs) {
      if (resolve(catalog) == Outcome::Found)
        return Outcome::Found;
    }
    return Outcome::Failed;
  }

  // The steps for a system identifier or a URI: an entry for it, the longest rewrite of
  // its start, the longest suffix, then delegation.
  template <class Resolve>
  Outcome mapIn(const File& file, const std::string& id, EntryKind exact, EntryKind rewrite,
                EntryKind suffix, EntryKind delegated, Resolve resolve) {
    for (const Entry& entry : file.entries) {
      if (entry.kind == exact && entry.match == id)
        return found(entry.target);
    }
    if (const Entry* entry = longest(file, rewrite, id, false))
      return found(entry->target + id.substr(entry->match.size()));
    if (const Entry* entry = longest(file, suffix, id, true))
      return found(entry->target);
    return delegate(file, delegated, id, resolve);
  }

  Outcome externalIdIn(const File& file, const std::string& publicId, const std::string& systemId) {
    if (!systemId.empty()) {
      Outcome outcome = mapIn(
          file, systemId, EntryKind::System, EntryKind::RewriteSystem, EntryKind::SystemSuffix,
          EntryKind::DelegateSystem,
          [&](const std::string& catalog) { return externalId(catalog, std::string(), systemId); });
      if (outcome != Outcome::NoMatch)
        return outcome;
    }
    if (!publicId.empty()) {
      for (const Entry& entry : file.entries) {
        if (entry.kind == EntryKind::Public && entry.match == publicId &&
            (entry.preferPublic || systemId.empty()))
          return found(entry.target);
      }
      std::vector<Entry> usable;
      for (const Entry& entry : file.entries) {
        if (entry.kind == EntryKind::DelegatePublic && (entry.preferPublic || systemId.empty()))
          usable.push_back(entry);
      }
      Outcome outcome = delegate(
          File{std::move(usable)}, EntryKind::DelegatePublic, publicId,
          [&](const std::string& catalog) { return externalId(catalog, publicId, std::string()); });
      if (outcome != Outcome::NoMatch)
        return outcome;
    }
    return Outcome::NoMatch;
  }

  Outcome uriIn(const File& file, const std::string& uri) {
    return mapIn(file, uri, EntryKind::Uri, EntryKind::RewriteUri, EntryKind::UriSuffix,
                 EntryKind::DelegateUri,
                 [&](const std::string& catalog) { return this->uri(catalog, uri); });
  }

  const CatalogSet& set_;
  std::vector<std::string> stack_;
  std::string result_;
};

// ---- Catalog set ----

CatalogSet::CatalogSet(std::vector<std::string> files) {
  for (const std::string& file : files) {
    if (file.empty())
      continue;
    files_.push_back(uriScheme(file).empty() ? fileURI(fullPathName(file.c_str()).view()) : file);
  }
}

CatalogSet::~CatalogSet() = default;

std::vector<std::string> CatalogSet::defaultFiles() {
  const char* variable = std::getenv("XML_CATALOG_FILES");
  if (variable == nullptr)
    return {"/etc/xml/catalog"};
  std::vector<std::string> files;
  std::string_view list(variable);
  while (!list.empty()) {
    std::size_t start = list.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
      break;
    std::size_t end = list.find_first_of(" \t\r\n", start);
    files.emplace_back(list.substr(start, end == std::string_view::npos ? end : end - start));
    list = end == std::string_view::npos ? std::string_view() : list.substr(end);
  }
  return files;
}

std::string CatalogSet::resolveExternalId(std::string_view publicId,
                                          std::string_view systemId) const {
  std::string id = isPublicIdURN(publicId) ? unwrapURN(publicId) : normalizePublicId(publicId);
  std::string system = normalizeURI(systemId);
  // A system identifier that wraps a public identifier stands for that one (section 7.1.1).
  if (isPublicIdURN(systemId)) {
    if (id.empty())
      id = unwrapURN(systemId);
    system.clear();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& file : files_) {
    Lookup lookup(*this);
    Lookup::Outcome outcome = lookup.externalId(file, id, system);
    if (outcome == Lookup::Outcome::Found)
      return lookup.result();
    if (outcome == Lookup::Outcome::Failed)
      break;
  }
  return {};
}

std::string CatalogSet::resolveURI(std::string_view uri) const {
  if (isPublicIdURN(uri))
    return resolveExternalId(unwrapURN(uri), {});
  std::string normalized = normalizeURI(uri);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& file : files_) {
    Lookup lookup(*this);
    Lookup::Outcome outcome = lookup.uri(file, normalized);
    if (outcome == Lookup::Outcome::Found)
      return lookup.result();
    if (outcome == Lookup::Outcome::Failed)
      break;
  }
  return {};
}

const CatalogSet::File& CatalogSet::load(const std::string& uri) const {
  auto [slot, inserted] = loaded_.try_emplace(uri);
  if (!inserted)
    return *slot->second;
  slot->second = std::make_unique<File>();
  std::optional<std::string> path = localPath(uri);
  std::error_code error;
  if (!path || !std::filesystem::is_regular_file(*path, error))
    return *slot->second;  // a catalog that is not there maps nothing
  // Catalog files are read without their DTD, and without catalogs.
  auto settings = std::make_shared<LoadSettings>();
  settings->entityAccess = ExternalAccess::Nothing;
  settings->documentAccess = ExternalAccess::Nothing;
  Document document(String(*path), kCatalogBufferSize, /*strip=*/false);
  document.setSettings(std::move(settings));
  try {
    document.parseAll();
  } catch (const DocumentParseException& failure) {
    SourceLocation where = failure.location();
    if (where.file.empty())
      where.file = String(*path);
    warning(where, String(kUnreadableCatalog).append(failure.text()).view());
    return *slot->second;
  }
  Node* root = document.root()->firstChild();
  while (root != nullptr && root->kind() != NodeKind::Element)
    root = root->nextSibling();
  if (root == nullptr || root->localName().view() != "catalog" ||
      root->namespaceURI().view() != kCatalogNamespace) {
    warning({String(*path)}, kNotACatalog);
    return *slot->second;
  }
  readEntries(root, uri, /*preferPublic=*/true, slot->second->entries);
  return *slot->second;
}

void CatalogSet::readEntries(Node* parent, const std::string& parentBase, bool parentPrefersPublic,
                             std::vector<Entry>& entries) {
  // xml:base and prefer on the element itself apply to it and what it contains.
  std::string base = parentBase;
  if (const char* xmlBase = attributeValue(parent, "http://www.w3.org/XML/1998/namespace", "base"))
    base = ovra::resolveURI(parentBase, xmlBase);
  bool preferPublic = parentPrefersPublic;
  if (const char* prefer = attributeValue(parent, "", "prefer")) {
    if (std::string_view(prefer) == "public")
      preferPublic = true;
    else if (std::string_view(prefer) == "system")
      preferPublic = false;
  }
  for (Node* child = parent->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (child->kind() != NodeKind::Element || child->namespaceURI().view() != kCatalogNamespace)
      continue;
    std::string_view name = child->localName().view();
    if (name == "group") {
      readEntries(child, base, preferPublic, entries);
      continue;
    }
    for (const EntrySyntax& syntax : kEntrySyntax) {
      if (name != syntax.element)
        continue;
      std::string entryBase = base;
      if (const char* xmlBase =
              attributeValue(child, "http://www.w3.org/XML/1998/namespace", "base"))
        entryBase = ovra::resolveURI(base, xmlBase);
      const char* match = syntax.match ? attributeValue(child, "", syntax.match) : "";
      const char* target = attributeValue(child, "", syntax.target);
      if (match == nullptr || target == nullptr)
        break;  // an entry without its attributes maps nothing
      bool isPublic = syntax.kind == EntryKind::Public || syntax.kind == EntryKind::DelegatePublic;
      entries.push_back({syntax.kind,
                         isPublic
                             ? (isPublicIdURN(match) ? unwrapURN(match) : normalizePublicId(match))
                             : normalizeURI(match),
                         ovra::resolveURI(entryBase, target), preferPublic});
      break;
    }
  }
}

}  // namespace ovra
