// The function registry that expression compilation looks calls up in, keyed by
// expanded name, and the XPath 1.0 core functions registered in it. Layers above add
// their own functions (XSLT's, the EXSLT modules) to a registry of their own.
#pragma once

#include "base/string.h"
#include "xpath/runtime/context.h"
#include "xpath/runtime/token.h"
#include "xpath/runtime/value.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra {

// The argument values of one call, fully evaluated, in call order. A value may be held
// here or borrowed from where it lies (a variable's binding, which outlives the call), so
// that passing a variable copies no string or node-set. Up to kInline values need no
// allocation.
class ArgumentList {
 public:
  static constexpr std::size_t kInline = 4;

  ArgumentList() = default;
  ArgumentList(std::initializer_list<Value> values);
  ArgumentList(const ArgumentList& other);
  ArgumentList& operator=(const ArgumentList&) = delete;
  ~ArgumentList();

  void reserve(std::size_t count);
  void push_back(Value value);
  // value must outlive this list.
  void borrow(const Value& value);

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const Value& operator[](std::size_t index) const { return *items_[index]; }

  class Iterator {
   public:
    explicit Iterator(const Value* const* at) : at_(at) {}
    const Value& operator*() const { return **at_; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return at_ != other.at_; }

   private:
    const Value* const* at_;
  };
  Iterator begin() const { return Iterator(items_.data()); }
  Iterator end() const { return Iterator(items_.data() + items_.size()); }

 private:
  // Pointers with inline room, so that a short list allocates nothing.
  class Items {
   public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Value* const* data() const { return data_; }
    const Value* operator[](std::size_t index) const { return data_[index]; }
    void reserve(std::size_t count);
    void push_back(const Value* value) {
      if (size_ == capacity_)
        reserve(capacity_ * 2);
      data_[size_++] = value;
    }

   private:
    const Value* inline_[kInline];
    std::unique_ptr<const Value*[]> heap_;
    const Value** data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = kInline;
  };

  Value* holdInline(Value value);

  Items items_;
  alignas(Value) std::byte inlineValues_[kInline * sizeof(Value)];
  std::size_t inlineCount_ = 0;
  std::vector<std::unique_ptr<Value>> moreValues_;  // held beyond kInline, each in place
};

// One function's implementation. The caller has checked the argument count against the
// entry's bounds; the implementation may convert its arguments in place. From context it
// reads the context node (what a missing optional argument stands for), position and
// size, and whatever its host keeps (EvalContext::host, currentNode, stylesheetElement).
// Errors are EvaluateExceptions located at call.
using XPathFunction = Value (*)(const Token& call, const EvalContext& context, ArgumentList& args);

// What the compiler may know of a call's value before it is evaluated.
enum class FunctionResult : std::uint8_t {
  Any = 0,      // may be of any kind (also when it depends on the arguments)
  NodeSet = 1,  // always a node-set
  Number = 2,
  String = 3,
  Boolean = 4,
};

// Which parts of the context a function reads beyond the context node.
enum class ContextUse : std::uint8_t {
  Node = 0,      // the context node at most
  Position = 1,  // the context position (position())
  Size = 2,      // the context size (last()); callers then count the nodes first
};

struct FunctionEntry {
  std::uint32_t minArguments;
  std::uint32_t maxArguments;
  XPathFunction function;
  FunctionResult result = FunctionResult::Any;
  ContextUse uses = ContextUse::Node;
};

// A function of a table that a module registers under one namespace.
struct NamedFunction {
  std::string_view localName;
  FunctionEntry entry;
};

template <class T>
using KeyTable = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

// The functions expressions may call, by expanded name: a call's prefix is resolved
// against the namespaces in scope where it is written, so every prefix bound to one URI
// finds the same function. Filled before any expression is compiled and only read
// afterwards, so compiled calls keep pointers into it. The core functions of XPath are
// coreFunctions(); a layer that adds functions copies that registry and adds its own.
class FunctionRegistry {
 public:
  FunctionRegistry();

  // A later entry of the same expanded name replaces the earlier one.
  void add(std::string_view namespaceURI, std::string_view localName, const FunctionEntry& entry);
  void add(std::string_view namespaceURI, std::span<const NamedFunction> functions);
  // Null when no function of that name is registered.
  const FunctionEntry* find(std::string_view namespaceURI, std::string_view localName) const;
  std::size_t size() const { return entries_.size(); }

 private:
  // The local name alone for names in no namespace (every core function: a call finds
  // them without building a key); otherwise the local name, a NUL, and the namespace
  // name, which no NCName contains.
  static std::string keyOf(std::string_view namespaceURI, std::string_view localName);

  KeyTable<FunctionEntry> entries_;
};

// The 27 functions of the XPath 1.0 core library, all in no namespace. Built on first
// use, before any expression compiled against it runs.
const FunctionRegistry& coreFunctions();
// Adds the core functions to registry, for layers that build a registry of their own.
void registerCoreFunctions(FunctionRegistry& registry);

// Whether function is the core count() (whose node-set argument the compiler may count
// as it streams) or position() (which a comparison with a constant turns into a bound).
bool isCountFunction(XPathFunction function);
bool isPositionFunction(XPathFunction function);
// Whether function is the core boolean() or not(), which of a node-set ask only whether
// it has a node.
bool isBooleanFunction(XPathFunction function);
bool isNotFunction(XPathFunction function);

// ---- Helpers for implementations, here and in the layers that add functions ----

// The first member of a node-set or the node of a single-node value; null for an empty
// node-set and for every other kind.
Node* firstNode(const Value& value);

// The members of a node-set or single-node value; empty for every other kind.
std::span<Node* const> nodeMembers(const Value& value);

// The string value of an argument, read where it lies when it is a string already.
class StringArg {
 public:
  explicit StringArg(const Value& value) : view_(stringView(value, scratch_)) {}
  // The first argument, or the context node's string value when there is none.
  StringArg(const EvalContext& context, const ArgumentList& args);
  StringArg(const StringArg&) = delete;
  StringArg& operator=(const StringArg&) = delete;
  std::string_view view() const { return view_; }

 private:
  String scratch_;
  std::string_view view_;
};

// The length of the UTF-8 sequence that lead announces: 1 below 128, 2, 3 or 4 for the
// lead bytes of longer sequences, and 1 for a byte that cannot lead one.
std::size_t utf8CharLength(unsigned char lead);

// The byte index of the first occurrence of needle in text, or -1; an empty needle
// occurs at 0 of every text, the empty text included.
std::ptrdiff_t findSubstring(std::string_view text, std::string_view needle);

}  // namespace ovra
