// The ID index and the unparsed entities a DTD declares.
#include "tree/dtd.h"

#include "tree/node.h"

#include <algorithm>

namespace ovra {

// The DTD names elements and attributes as written, prefix and all.
static std::string qualifiedName(const Node* node) {
  std::string name(node->prefix().view());
  if (!name.empty())
    name += ':';
  name += node->localName().view();
  return name;
}

void DtdInfo::declareIdAttribute(std::string_view elementName, std::string_view attributeName) {
  std::vector<std::string>& names = idAttributes_[std::string(elementName)];
  if (std::find(names.begin(), names.end(), attributeName) == names.end())
    names.emplace_back(attributeName);
}

void DtdInfo::declareUnparsedEntity(std::string_view name, String uri) {
  unparsedEntities_.try_emplace(std::string(name), std::move(uri));
}

void DtdInfo::indexIds(ElementNode* element) {
  auto declared = idAttributes_.find(qualifiedName(element));
  if (declared == idAttributes_.end())
    return;
  const std::vector<std::string>& names = declared->second;
  for (Node* node = element->firstAttribute(); node != nullptr; node = node->rawNextSibling()) {
    if (std::find(names.begin(), names.end(), qualifiedName(node)) != names.end())
      elementsById_.try_emplace(static_cast<AttributeNode*>(node)->value(), element);
  }
}

ElementNode* DtdInfo::elementById(std::string_view value) const {
  auto found = elementsById_.find(std::string(value));
  return found == elementsById_.end() ? nullptr : found->second;
}

const String* DtdInfo::unparsedEntityURI(std::string_view name) const {
  auto found = unparsedEntities_.find(std::string(name));
  return found == unparsedEntities_.end() ? nullptr : &found->second;
}

}  // namespace ovra
