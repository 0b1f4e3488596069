// Interned names: equal texts share one address for the rest of the run, so names are
// compared by address, and each carries one bit of a 64-bit mask for the name filters.
// A pool serves every thread: concurrent transformations intern their documents' names
// in the one global pool, which is what lets a compiled stylesheet compare its names with
// theirs by address.
#pragma once

#include "base/string.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ovra {

// A name as an element or attribute carries it: the expanded name and the prefix it is
// written with. Interned like the names in it, so a node holds one pointer for all three.
struct QualifiedName {
  StringRef namespaceURI;
  StringRef localName;
  StringRef prefix;
};

class NamePool {
 public:
  static constexpr std::size_t kInitialBuckets = 1024;
  static constexpr std::size_t kBlockSize = 262144;

  NamePool();
  NamePool(const NamePool&) = delete;
  NamePool& operator=(const NamePool&) = delete;
  ~NamePool();

  // The same text always answers the same address and bit; the bit is bitOf(text).
  // Safe from any thread.
  StringRef intern(std::string_view text);
  // The bit of a name: chosen by a hash of its text, so that the names of a document,
  // however many, spread over all 64 bits whatever order they are read in.
  static NameMask bitOf(std::string_view text);
  // The one QualifiedName of three interned names; its address lasts as long as the pool.
  // Safe from any thread.
  const QualifiedName* qualified(StringRef namespaceURI, StringRef localName, StringRef prefix);
  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return count_;
  }
  std::size_t bucketCount() const {
    std::lock_guard lock(mutex_);
    return buckets_.size();
  }

  // The process-wide pool; it interns the empty name, "*", the XSLT namespace name and
  // "xml:space" first, in that order.
  static NamePool& global();

 private:
  struct Entry {
    const char* text;
    std::uint32_t length;
    std::uint32_t hash;
  };
  struct QualifiedHash {
    std::size_t operator()(const QualifiedName& name) const;
  };
  struct QualifiedEqual {
    bool operator()(const QualifiedName& a, const QualifiedName& b) const {
      return a.namespaceURI == b.namespaceURI && a.localName == b.localName &&
             a.prefix == b.prefix;
    }
  };
  const char* copyText(std::string_view text);
  void grow();
  StringRef internLocked(std::string_view text, std::uint32_t hash);

  // Guards everything below. Each thread first looks in a small cache of its own (a
  // document uses few names over and over), so the lock is taken only for a name the
  // thread has not seen lately.
  mutable std::mutex mutex_;
  // Tells this pool's entries in the threads' caches from those of a pool destroyed
  // before it at the same address.
  const std::uint64_t identity_;

  std::vector<std::vector<Entry>> buckets_;
  std::size_t count_ = 0;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = kBlockSize;
  // Node-based, so the elements never move.
  std::unordered_set<QualifiedName, QualifiedHash, QualifiedEqual> qualified_;
};

// Interns in the global pool.
StringRef intern(std::string_view text);
inline const QualifiedName* internQualified(StringRef namespaceURI, StringRef localName,
                                            StringRef prefix) {
  return NamePool::global().qualified(namespaceURI, localName, prefix);
}

inline constexpr std::string_view kXsltNamespace = "http://www.w3.org/1999/XSL/Transform";
inline constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

// Names interned at start-up, compared by address everywhere. Inline, since the loader
// and node tests ask for them for nearly every node.
inline const StringRef& emptyName() {
  static const StringRef name = intern("");
  return name;
}
inline const StringRef& starName() {
  static const StringRef name = intern("*");
  return name;
}
inline const StringRef& xsltNamespaceName() {
  static const StringRef name = intern(kXsltNamespace);
  return name;
}
inline const StringRef& xmlSpaceName() {  // "xml:space"
  static const StringRef name = intern("xml:space");
  return name;
}
inline const StringRef& xmlNamespaceName() {
  static const StringRef name = intern(kXmlNamespace);
  return name;
}

}  // namespace ovra
