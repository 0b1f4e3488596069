// EXSLT strings (http://exslt.org/strings).
#include "base/exceptions.h"
#include "xslt/exslt/exslt.h"

#include <cmath>
#include <cstring>

namespace ovra {

namespace {

constexpr const char* kPaddingTooLong = "str:padding() asked for a string too long to build";

// Strings beyond this many bytes are refused rather than built.
constexpr double kMaxPaddingBytes = double(1u << 30);

// length characters of the second argument (a space by default) repeated and cut to
// fit; the length is truncated to an integer, and NaN, negative lengths and an empty
// pad give the empty string.
Value paddingFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  double length = std::trunc(numberOf(args[0]));
  String scratch;
  std::string_view pad = args.size() > 1 ? stringView(args[1], scratch) : std::string_view(" ");
  if (!(length > 0) || pad.empty())
    return Value::makeString(String());
  // Characters, not bytes: the pad is cut at a character boundary.
  std::size_t padChars = 0;
  for (std::size_t offset = 0; offset < pad.size();
       offset += utf8CharLength(static_cast<unsigned char>(pad[offset])))
    ++padChars;
  if (length / double(padChars) * double(pad.size()) > kMaxPaddingBytes)
    throw EvaluateException(call, kPaddingTooLong);
  auto wanted = std::size_t(length);
  std::size_t whole = wanted / padChars;
  std::size_t restChars = wanted % padChars;
  std::size_t restBytes = 0;
  for (std::size_t i = 0; i < restChars; ++i)
    restBytes += utf8CharLength(static_cast<unsigned char>(pad[restBytes]));
  String result;
  char* out = result.prepare(whole * pad.size() + restBytes);
  for (std::size_t i = 0; i < whole; ++i, out += pad.size())
    std::memcpy(out, pad.data(), pad.size());
  std::memcpy(out, pad.data(), restBytes);
  return Value::makeString(std::move(result));
}

constexpr NamedFunction kFunctions[] = {
    {"padding", {1, 2, paddingFunction, FunctionResult::String}},
};

}  // namespace

void registerStringsModule(FunctionRegistry& registry) {
  registry.add(kExsltStringsNamespace, kFunctions);
}

}  // namespace ovra
