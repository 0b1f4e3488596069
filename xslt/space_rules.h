// The xsl:strip-space and xsl:preserve-space declarations of a stylesheet: for each
// element name of a source document, whether its whitespace-only text children go.
#pragma once

#include "base/string.h"
#include "tree/document.h"

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace ovra {

class Node;

class SpaceRules : public WhitespaceStripping {
 public:
  SpaceRules() = default;
  ~SpaceRules() override;

  // Reads the elements attribute of an xsl:strip-space (strip) or xsl:preserve-space
  // element: NameTests (*, prefix:*, QName) separated by white space, prefixes resolved
  // at element. Declarations of higher importPrecedence win, then the more specific
  // test, then the later declaration. Throws StylesheetException for a missing attribute
  // or a bad name.
  void read(Node* element, bool strip, std::int32_t importPrecedence = 0);

  // True when some declaration strips: without one nothing is ever stripped.
  bool isActive() const { return active_; }
  bool strips(StringRef namespaceURI, StringRef localName) const override;

 private:
  struct Rule {
    std::int32_t precedence;
    std::int32_t order;
    bool strip;
  };
  struct PairHash {
    std::size_t operator()(const std::pair<const char*, const char*>& key) const;
  };
  using Key = std::pair<const char*, const char*>;

  // Rank of a candidate: precedence, then test priority (name 2, prefix:* 1, * 0), then order.
  static bool outranks(const Rule& a, int priorityA, const Rule& b, int priorityB);
  static void keep(Rule& slot, bool& filled, const Rule& rule);

  std::unordered_map<Key, Rule, PairHash> names_;     // QName tests
  std::unordered_map<const char*, Rule> namespaces_;  // prefix:* tests, by URI
  Rule any_{0, 0, false};                             // the * test
  bool hasAny_ = false;
  std::int32_t count_ = 0;
  bool active_ = false;
};

// The whitespace rule of stylesheets themselves (XSLT 1.0 section 3.4): whitespace-only
// text goes everywhere but in xsl:text, the one whitespace-preserving element.
const WhitespaceStripping& stylesheetSpacing();

}  // namespace ovra
