// Qualified names resolved through the namespace declarations in scope at a node.
#pragma once

#include "base/string.h"

#include <string_view>

namespace ovra {

class Node;

// A namespace name and local part, both interned (compared by address); the prefix is
// kept for output but takes no part in equality.
struct ExpandedName {
  StringRef namespaceURI;
  StringRef prefix;
  StringRef localName;

  bool empty() const { return localName.empty() && namespaceURI.empty(); }
  friend bool operator==(const ExpandedName& a, const ExpandedName& b) {
    return a.namespaceURI == b.namespaceURI && a.localName == b.localName;
  }
};

// The text after the first colon, or the whole text.
std::string_view qnameLocalPart(std::string_view qname);
// The text before the first colon, or empty.
std::string_view qnamePrefix(std::string_view qname);

// The namespace name bound to prefix at node: the first namespace node of the node and
// then of each ancestor (innermost first) whose prefix matches. Empty when none does
// (also for the empty prefix without a default declaration). Null node: empty.
StringRef lookupNamespace(const Node* node, std::string_view prefix);

// The namespace name of qname's prefix at node; empty when unbound.
StringRef qnamePrefixNamespace(const Node* node, std::string_view qname);

// Both parts at once. With useDefaultNamespace false an unprefixed name is in no
// namespace whatever the default declaration (XPath name tests and variable names);
// true lets the default declaration apply (element names of the XSLT layer).
ExpandedName resolveQName(const Node* node, std::string_view qname,
                          bool useDefaultNamespace = false);

}  // namespace ovra
