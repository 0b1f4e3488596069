// Keys: the compiled xsl:key declarations of a stylesheet, and the indexes one run
// builds from them for key(). An index covers one tree and one key name and is built
// the first time key() asks for it, so a run that never calls key() reads no more of
// the source than it otherwise would.
#pragma once

#include "base/string.h"
#include "tree/qname.h"
#include "xpath/runtime/value.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace ovra {

class Expr;
class Node;
class PatternMatcher;
class SyntaxNode;
class Transformation;
struct EvalContext;
struct Token;

// One xsl:key element: which nodes it indexes (match) and under which values (use).
class KeyDefinition {
 public:
  // Reads name, match and use; throws StylesheetException at the element or attribute
  // when one is missing, unknown or does not compile.
  explicit KeyDefinition(Node* element);
  KeyDefinition(const KeyDefinition&) = delete;
  KeyDefinition& operator=(const KeyDefinition&) = delete;
  ~KeyDefinition();

  const ExpandedName& name() const { return name_; }
  Node* element() const { return element_; }
  bool matches(Node* node, const EvalContext& context) const;
  const Expr& use() const { return *use_; }

 private:
  Node* element_;  // a node of the stylesheet's tree, which outlives this
  ExpandedName name_;
  std::unique_ptr<SyntaxNode> pattern_;
  std::unique_ptr<PatternMatcher> match_;
  std::unique_ptr<Expr> use_;
};

// The xsl:key declarations of a stylesheet. Those of one name together make one key.
class KeyDefinitions {
 public:
  KeyDefinitions();
  KeyDefinitions(const KeyDefinitions&) = delete;
  KeyDefinitions& operator=(const KeyDefinitions&) = delete;
  ~KeyDefinitions();

  // Compiles a top-level xsl:key element (see KeyDefinition).
  void add(Node* element);
  // The declarations of that name in stylesheet order; null when there are none.
  const std::vector<const KeyDefinition*>* find(const ExpandedName& name) const;
  bool empty() const { return all_.empty(); }

 private:
  std::vector<std::unique_ptr<KeyDefinition>> all_;
  std::vector<std::vector<const KeyDefinition*>> byName_;  // one list per distinct name
};

// The key indexes of one run.
class KeyIndexes {
 public:
  // Both outlive this.
  KeyIndexes(const KeyDefinitions& definitions, Transformation& run);
  KeyIndexes(const KeyIndexes&) = delete;
  KeyIndexes& operator=(const KeyIndexes&) = delete;
  ~KeyIndexes();

  // key(name, value) at context: the nodes of the context node's tree that the keys of
  // that name index under value's string, or for a node-set under any member's string
  // value; in document order. Throws EvaluateException at call for a name no xsl:key
  // declares, or when a key's definition needs the key itself; errors of a use
  // expression become StylesheetExceptions at its xsl:key.
  Value lookup(const Token& call, const ExpandedName& name, const Value& value,
               const EvalContext& context);

  // How many indexes the run has built so far.
  std::size_t builtCount() const { return indexes_.size(); }

 private:
  struct Index {
    bool complete = false;  // false while being built
    // Value to the nodes indexed under it, in document order, each once.
    std::unordered_map<std::string, NodeVector> byValue;
  };
  // The tree's root and the key name's two interned parts.
  using IndexKey = std::tuple<const Node*, const char*, const char*>;

  void build(Index& index, Node* root, const std::vector<const KeyDefinition*>& definitions);

  const KeyDefinitions& definitions_;
  Transformation& run_;
  std::map<IndexKey, Index> indexes_;
};

// "Unknown key, " and the name as written: key() naming a key no xsl:key declares.
String unknownKeyMessage(const ExpandedName& name);

}  // namespace ovra
