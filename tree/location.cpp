#include "tree/location.h"

#include "tree/document.h"
#include "tree/node.h"

namespace ovra {

SourceLocation locationOf(const Node* node) {
  SourceLocation where;
  if (node == nullptr)
    return where;
  if (const Document* document = node->document())
    where.file = document->fileName();
  where.line = node->lineNumber();
  return where;
}

}  // namespace ovra
