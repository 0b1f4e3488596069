// The XPath and XSLT core functions that expressions may call and the table the
// expression compiler looks function names up in, built once, on first use, and only
// read afterwards.
#pragma once

#include "xpath/runtime/value.h"
#include "xpath/token.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra {

struct EvalContext;  // defined a floor up, in xpath/expr.h

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

// One core function. The caller has checked the argument count against the entry's
// bounds; the implementation may convert its arguments in place. From context it reads
// the context node (what a missing optional argument stands for) and position, the
// current node (current()) and the stylesheet element (the base of document(), the
// prefixes of element-available()). Errors are EvaluateExceptions located at call.
using CoreFunction = Value (*)(const Token& call, const EvalContext& context, ArgumentList& args);

struct FunctionEntry {
  std::uint32_t minArguments;
  std::uint32_t maxArguments;
  CoreFunction function;
};

// Hashes a key's bytes with h = h * 33 + byte, starting from 0, like every string-keyed
// table of the system. Transparent, so a std::string_view finds a std::string key.
struct KeyHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view key) const;
};

template <class T>
using KeyTable = std::unordered_map<std::string, T, KeyHash, std::equal_to<>>;

// Function name (exact text, no prefix resolution) to entry.
const KeyTable<FunctionEntry>& functionTable();

// Null when name is not a core function.
const FunctionEntry* findFunction(std::string_view name);

// Builds the table now, so that nothing is built in the middle of a timed run.
void registerCoreFunctions();

// The length of the UTF-8 sequence that lead announces: 1 below 128, 2, 3 or 4 for the
// lead bytes of longer sequences, and 1 for a byte that cannot lead one.
std::size_t utf8CharLength(unsigned char lead);

// The byte index of the first occurrence of needle in text, or -1; an empty needle
// occurs at 0 of every text, the empty text included.
std::ptrdiff_t findSubstring(std::string_view text, std::string_view needle);

}  // namespace ovra
