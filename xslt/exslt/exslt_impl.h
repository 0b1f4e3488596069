// Helpers the EXSLT modules share: reading node-set arguments with a message that names
// the call, and building the small trees that some functions answer with.
#pragma once

#include "xpath/runtime/functions.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

namespace ovra {

class Node;

// The members of argument number index (0-based) of call, in document order; an
// EvaluateException naming the function (as EXSLT writes it, "set:distinct": the call's
// own text is gone once it is compiled) and the argument for a value that is not a
// node-set (a result tree fragment too, as XSLT 1.0 section 11.1 wants).
std::span<Node* const> nodeSetArgument(const Token& call, const char* function,
                                       const ArgumentList& args, std::size_t index);

// A node-set over nodes that value keeps alive: the same nodes, the same tree.
Value nodeSetSharing(const Value& value, NodeVector nodes);

// Builds a tree of elements, each holding one text, for the functions that answer a
// node-set of new elements (str:tokenize, str:split, dyn:map). The nodes live as long as
// the value made from them and the evaluation's host.
class ResultTreeBuilder {
 public:
  explicit ResultTreeBuilder(const EvalContext& context);
  // Appends an element named localName (in no namespace unless namespaceURI is given,
  // written with prefix) at the root, with text as its content (no text node when text
  // is empty); answers it.
  Node* addElement(std::string_view localName, std::string_view text,
                   std::string_view namespaceURI = {}, std::string_view prefix = {});
  // The node-set of the elements added, in order.
  Value finish();
  // The node-set of nodes, which may hold elements added here among others, sorted into
  // document order without duplicates.
  Value finish(NodeVector nodes);

 private:
  std::shared_ptr<Node> root_;
  NodeVector elements_;
};

}  // namespace ovra
