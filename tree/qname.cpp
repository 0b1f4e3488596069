#include "tree/qname.h"

#include "tree/name_pool.h"
#include "tree/node.h"

namespace ovra {

std::string_view qnameLocalPart(std::string_view qname) {
  std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

std::string_view qnamePrefix(std::string_view qname) {
  std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

StringRef lookupNamespace(const Node* node, std::string_view prefix) {
  // Attributes, text and other non-elements ask the element they belong to.
  for (const Node* element = node; element != nullptr; element = element->parent()) {
    for (Node* ns = element->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      if (ns->localName().view() == prefix)
        return ns->namespaceURI();
    }
  }
  if (prefix == "xml")
    return xmlNamespaceName();
  return emptyName();
}

StringRef qnamePrefixNamespace(const Node* node, std::string_view qname) {
  return lookupNamespace(node, qnamePrefix(qname));
}

ExpandedName resolveQName(const Node* node, std::string_view qname, bool useDefaultNamespace) {
  std::string_view prefix = qnamePrefix(qname);
  ExpandedName name;
  name.prefix = intern(prefix);
  name.localName = intern(qnameLocalPart(qname));
  if (!prefix.empty() || useDefaultNamespace)
    name.namespaceURI = lookupNamespace(node, prefix);
  else
    name.namespaceURI = emptyName();
  return name;
}

}  // namespace ovra
