#include "tree/name_pool.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace ovra {

// The table hash is weak in its low bits (h * 33 + byte), so the bit comes from the high
// bits of a full 64-bit mix of it (the finaliser of MurmurHash3).
static NameMask bitOfHash(std::uint32_t h) {
  std::uint64_t k = h;
  k ^= k >> 33;
  k *= 0xFF51AFD7ED558CCDu;
  k ^= k >> 33;
  k *= 0xC4CEB9FE1A85EC53u;
  k ^= k >> 33;
  return NameMask{1} << (k >> 58);
}

NameMask NamePool::bitOf(std::string_view text) {
  return bitOfHash(hashText(text));
}

static std::atomic<std::uint64_t> poolsMade{0};

NamePool::NamePool() : identity_(++poolsMade), buckets_(kInitialBuckets) {}

NamePool::~NamePool() = default;

const char* NamePool::copyText(std::string_view text) {
  std::size_t needed = text.size() + 1;
  if (needed > kBlockSize) {
    blocks_.push_back(std::make_unique<char[]>(needed));
    std::memcpy(blocks_.back().get(), text.data(), text.size());
    return blocks_.back().get();
  }
  if (kBlockSize - blockUsed_ < needed) {
    // The current block stays at the back of the list only while it is being filled.
    blocks_.insert(blocks_.begin(), std::make_unique_for_overwrite<char[]>(kBlockSize));
    blockUsed_ = 0;
  }
  char* copy = blocks_.front().get() + blockUsed_;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  blockUsed_ += needed;
  return copy;
}

void NamePool::grow() {
  std::size_t newSize = std::max(kInitialBuckets, buckets_.size() * 2);
  std::vector<std::vector<Entry>> grown(newSize);
  for (auto& bucket : buckets_)
    for (const Entry& entry : bucket)
      grown[entry.hash % newSize].push_back(entry);
  buckets_ = std::move(grown);
}

namespace {

// One thread's recently interned names and qualified records, in sets of two by hash,
// the most recent first; an entry names its pool, since tests make pools of their own.
// The set comes from the top bits of a multiplicative hash: the low bits of the text hash
// are weak, and two names of one element sharing a slot (sku and price did) missed on
// every element, each miss taking the pool's lock, which threads of a batch then queue for.
constexpr std::size_t kRecentSets = 128;
constexpr unsigned kRecentSetBits = 7;
struct RecentName {
  std::uint64_t pool = 0;
  const char* text = nullptr;
  std::uint32_t length = 0;
  std::uint32_t hash = 0;
};
struct RecentQualified {
  std::uint64_t pool = 0;
  const QualifiedName* record = nullptr;
};
thread_local RecentName recentNames[kRecentSets][2];
thread_local RecentQualified recentQualified[kRecentSets][2];

std::size_t recentSet(std::uint64_t hash) {
  return std::uint32_t(std::uint32_t(hash) * 0x9E3779B1u) >> (32 - kRecentSetBits);
}

template <class Entry>
void remember(Entry (&set)[2], const Entry& entry) {
  set[1] = set[0];
  set[0] = entry;
}

}  // namespace

StringRef NamePool::intern(std::string_view text) {
  std::uint32_t h = hashText(text);
  RecentName(&set)[2] = recentNames[recentSet(h)];
  for (const RecentName& recent : set) {
    // An empty view may have a null data pointer, which memcmp must not see.
    if (recent.pool == identity_ && recent.hash == h && recent.length == text.size() &&
        (text.empty() || std::memcmp(recent.text, text.data(), text.size()) == 0))
      return StringRef(recent.text, bitOfHash(h));
  }
  StringRef found;
  {
    std::lock_guard lock(mutex_);
    found = internLocked(text, h);
  }
  remember(set, RecentName{identity_, found.c_str(), std::uint32_t(text.size()), h});
  return found;
}

StringRef NamePool::internLocked(std::string_view text, std::uint32_t h) {
  for (const Entry& entry : buckets_[h % buckets_.size()]) {
    if (entry.hash == h && entry.length == text.size() &&
        (text.empty() || std::memcmp(entry.text, text.data(), text.size()) == 0))
      return StringRef(entry.text, bitOfHash(h));
  }
  if (count_ + 1 > buckets_.size() / 2)
    grow();
  Entry entry{copyText(text), std::uint32_t(text.size()), h};
  buckets_[h % buckets_.size()].push_back(entry);
  ++count_;
  return StringRef(entry.text, bitOfHash(h));
}

std::size_t NamePool::QualifiedHash::operator()(const QualifiedName& name) const {
  // The names are interned, so their addresses identify them; the low bits of an
  // address are alignment, the same for all.
  auto word = [](StringRef ref) { return std::uintptr_t(ref.c_str()); };
  std::uint64_t h = word(name.namespaceURI);
  h = (h ^ word(name.localName)) * 0x9E3779B97F4A7C15u;
  h = (h ^ word(name.prefix)) * 0x9E3779B97F4A7C15u;
  return std::size_t(h ^ (h >> 29));
}

const QualifiedName* NamePool::qualified(StringRef namespaceURI, StringRef localName,
                                         StringRef prefix) {
  QualifiedName key{namespaceURI, localName, prefix};
  RecentQualified(&set)[2] = recentQualified[recentSet(QualifiedHash()(key))];
  for (const RecentQualified& recent : set) {
    if (recent.pool == identity_ && QualifiedEqual()(*recent.record, key))
      return recent.record;
  }
  const QualifiedName* record;
  {
    std::lock_guard lock(mutex_);
    record = &*qualified_.insert(key).first;
  }
  remember(set, RecentQualified{identity_, record});
  return record;
}

NamePool& NamePool::global() {
  static NamePool* pool = [] {
    auto* created = new NamePool();  // lives until exit: names are used by static tables
    created->intern("");
    created->intern("*");
    created->intern(kXsltNamespace);
    created->intern("xml:space");
    return created;
  }();
  return *pool;
}

StringRef intern(std::string_view text) {
  return NamePool::global().intern(text);
}

}  // namespace ovra
