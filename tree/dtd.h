// What a document's DTD says that the tree answers for: the attributes of type ID (for
// id()) and the unparsed entities (for unparsed-entity-uri()). Filled by the loader while
// it reads the DTD and the elements; owned by the Document.
#pragma once

#include "base/string.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra {

class ElementNode;

class DtdInfo {
 public:
  // An ATTLIST declaration of an attribute of type ID; names are as written, prefix and
  // all. A repeated declaration changes nothing.
  void declareIdAttribute(std::string_view elementName, std::string_view attributeName);
  // An unparsed entity with its URI resolved; the first declaration of a name is binding.
  void declareUnparsedEntity(std::string_view name, String uri);
  // Called once the document element has begun: no declaration can come any more.
  void markComplete() { complete_ = true; }
  // Indexes an element just read (its attributes and prefixes in place) by the values of
  // its ID attributes. Cheap when the DTD declares none.
  void recordIds(ElementNode* element) {
    if (!idAttributes_.empty())
      indexIds(element);
  }

  bool isComplete() const { return complete_; }
  bool hasIdAttributes() const { return !idAttributes_.empty(); }
  // The first element read that has an ID attribute of that value; null when none has
  // (yet: the rest of the document may still hold one).
  ElementNode* elementById(std::string_view value) const;
  // The URI of the unparsed entity of that name; null when none is declared.
  const String* unparsedEntityURI(std::string_view name) const;

 private:
  void indexIds(ElementNode* element);

  // By element name as written, the names of its attributes of type ID. Empty for the
  // usual document without such declarations, so elements cost nothing.
  std::unordered_map<std::string, std::vector<std::string>> idAttributes_;
  // ID value to the first element read that has it.
  std::unordered_map<std::string, ElementNode*> elementsById_;
  // Unparsed entity name to its resolved URI.
  std::unordered_map<std::string, String> unparsedEntities_;
  bool complete_ = false;
};

}  // namespace ovra
