// The XPath and XSLT core functions that expressions may call, the table the expression
// compiler looks function names up in, and the instruction names element-available()
// knows. Both tables are built once, on first use, and only read afterwards.
#pragma once

#include "xpath/runtime/value.h"
#include "xpath/token.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra {

struct EvalContext;  // defined a floor up, in xpath/expr.h

// The argument values of one call, fully evaluated, in call order.
using ArgumentList = std::vector<Value>;

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
// XSLT instruction local name to whether this processor implements it; names known to
// XSLT but not implemented map to false, like names not listed at all.
const KeyTable<bool>& instructionTable();

// Null when name is not a core function.
const FunctionEntry* findFunction(std::string_view name);

// Builds both tables now, so that nothing is built in the middle of a timed run.
void registerCoreFunctions();

// The length of the UTF-8 sequence that lead announces: 1 below 128, 2, 3 or 4 for the
// lead bytes of longer sequences, and 1 for a byte that cannot lead one.
std::size_t utf8CharLength(unsigned char lead);

// The byte index of the first occurrence of needle in text, or -1; an empty needle
// occurs at 0 of every text, the empty text included.
std::ptrdiff_t findSubstring(std::string_view text, std::string_view needle);

}  // namespace ovra
