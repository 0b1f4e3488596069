// Where a node of a document stands, for messages about it.
#pragma once

#include "base/diagnostics.h"

namespace ovra {

class Node;

// The file name of node's document and the line of the start tag of the element the
// node is or belongs to (0 where unknown: result trees, built nodes). Null: nowhere.
SourceLocation locationOf(const Node* node);

}  // namespace ovra
