// EXSLT math (http://exslt.org/math).
#include "tree/node.h"
#include "xpath/runtime/number_format.h"
#include "xslt/exslt/exslt.h"
#include "xslt/exslt/exslt_impl.h"
#include "xslt/functions.h"
#include "xslt/stylesheet.h"
#include "xslt/transform.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string_view>

namespace ovra {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The value math:min or math:max reports: NaN for an empty node-set and as soon as one
// member is not a number, as EXSLT says.
double extremeOf(std::span<Node* const> members, bool highest) {
  if (members.empty())
    return kNaN;
  double extreme =
      highest ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  for (Node* node : members) {
    double value = numberOfNode(node);
    if (std::isnan(value))
      return kNaN;
    if (highest ? value > extreme : value < extreme)
      extreme = value;
  }
  return extreme;
}

Value minFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  return Value::makeNumber(extremeOf(nodeSetArgument(call, "math:min", args, 0), false));
}

Value maxFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  return Value::makeNumber(extremeOf(nodeSetArgument(call, "math:max", args, 0), true));
}

// The members whose number equals the extreme, in document order; none when a member is
// not a number (NaN equals nothing).
Value membersAtExtreme(const Token& call, const char* function, ArgumentList& args, bool highest) {
  std::span<Node* const> members = nodeSetArgument(call, function, args, 0);
  double extreme = extremeOf(members, highest);
  NodeVector kept;
  if (!std::isnan(extreme)) {
    for (Node* node : members) {
      if (numberOfNode(node) == extreme)
        kept.push_back(node);
    }
  }
  return nodeSetSharing(args[0], std::move(kept));
}

Value highestFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  return membersAtExtreme(call, "math:highest", args, true);
}

Value lowestFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  return membersAtExtreme(call, "math:lowest", args, false);
}

// ---- Functions of numbers ----

// A function of the arguments' numbers. The table passes each as a lambda: functions of
// the standard library may not have their address taken.
template <double (*function)(double)>
Value unaryFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return Value::makeNumber(function(numberOf(args[0])));
}

template <double (*function)(double, double)>
Value binaryFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return Value::makeNumber(function(numberOf(args[0]), numberOf(args[1])));
}

// The constants EXSLT names (SQRRT2 is its spelling of the square root of 2), written
// with more digits than a double holds.
struct MathConstant {
  std::string_view name;
  std::string_view digits;
};

constexpr MathConstant kConstants[] = {
    {"PI", "3.1415926535897932384626433832795028841971693993751"},
    {"E", "2.71828182845904523536028747135266249775724709369996"},
    {"SQRRT2", "1.41421356237309504880168872420969807856967187537694"},
    {"LN2", "0.69314718055994530941723212145817656807550013436025"},
    {"LN10", "2.30258509299404568401799145468436420760110148862877"},
    {"LOG2E", "1.44269504088896340735992468100189213742664595415299"},
    {"SQRT1_2", "0.70710678118654752440084436210484903928483593768847"},
};

// The constant cut to its first precision characters (the point counts), as xsltproc
// reads EXSLT's "to a set precision": math:constant('PI', 4) is 3.14. An unknown name,
// and a precision below 1 or NaN, give NaN.
Value constantFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg name(args[0]);
  double precision = std::trunc(numberOf(args[1]));
  for (const MathConstant& constant : kConstants) {
    if (constant.name != name.view())
      continue;
    if (!(precision >= 1))
      return Value::makeNumber(kNaN);
    std::size_t length = precision < double(constant.digits.size()) ? std::size_t(precision)
                                                                    : constant.digits.size();
    return Value::makeNumber(parseNumber(constant.digits.substr(0, length)));
  }
  return Value::makeNumber(kNaN);
}

// The numbers of one run, drawn from a generator of its own: with a seed every run gets
// the same sequence, whatever thread it is on and whatever ran before it.
class RandomNumbers : public Transformation::ExtensionState {
 public:
  explicit RandomNumbers(std::uint64_t seed) : generator_(seed) {}
  double next() { return std::generate_canonical<double, 53>(generator_); }

 private:
  std::mt19937_64 generator_;
};

// Where the generator is kept in a run.
constexpr char kRandomKey = 0;

std::uint64_t entropy() {
  std::random_device device;
  return (std::uint64_t(device()) << 32) | device();
}

// A number from 0 up to but not including 1.
Value randomFunction(const Token&, const EvalContext& context, ArgumentList&) {
  Transformation* run = runningTransformation(context);
  if (run == nullptr) {
    thread_local std::mt19937_64 generator{entropy()};
    return Value::makeNumber(std::generate_canonical<double, 53>(generator));
  }
  auto* numbers = static_cast<RandomNumbers*>(run->extensionState(&kRandomKey));
  if (numbers == nullptr) {
    const std::optional<std::uint32_t>& seed = run->stylesheet().options().randomSeed;
    numbers = static_cast<RandomNumbers*>(&run->setExtensionState(
        &kRandomKey, std::make_unique<RandomNumbers>(seed ? *seed : entropy())));
  }
  return Value::makeNumber(numbers->next());
}

constexpr NamedFunction kFunctions[] = {
    {"abs", {1, 1, unaryFunction<+[](double x) { return std::fabs(x); }>, FunctionResult::Number}},
    {"acos", {1, 1, unaryFunction<+[](double x) { return std::acos(x); }>, FunctionResult::Number}},
    {"asin", {1, 1, unaryFunction<+[](double x) { return std::asin(x); }>, FunctionResult::Number}},
    {"atan", {1, 1, unaryFunction<+[](double x) { return std::atan(x); }>, FunctionResult::Number}},
    {"atan2",
     {2, 2, binaryFunction<+[](double y, double x) { return std::atan2(y, x); }>,
      FunctionResult::Number}},
    {"constant", {2, 2, constantFunction, FunctionResult::Number}},
    {"cos", {1, 1, unaryFunction<+[](double x) { return std::cos(x); }>, FunctionResult::Number}},
    {"exp", {1, 1, unaryFunction<+[](double x) { return std::exp(x); }>, FunctionResult::Number}},
    {"highest", {1, 1, highestFunction, FunctionResult::NodeSet}},
    {"log", {1, 1, unaryFunction<+[](double x) { return std::log(x); }>, FunctionResult::Number}},
    {"lowest", {1, 1, lowestFunction, FunctionResult::NodeSet}},
    {"max", {1, 1, maxFunction, FunctionResult::Number}},
    {"min", {1, 1, minFunction, FunctionResult::Number}},
    {"power",
     {2, 2, binaryFunction<+[](double x, double y) { return std::pow(x, y); }>,
      FunctionResult::Number}},
    {"random", {0, 0, randomFunction, FunctionResult::Number}},
    {"sin", {1, 1, unaryFunction<+[](double x) { return std::sin(x); }>, FunctionResult::Number}},
    {"sqrt", {1, 1, unaryFunction<+[](double x) { return std::sqrt(x); }>, FunctionResult::Number}},
    {"tan", {1, 1, unaryFunction<+[](double x) { return std::tan(x); }>, FunctionResult::Number}},
};

}  // namespace

void registerMathModule(FunctionRegistry& registry) {
  registry.add(kExsltMathNamespace, kFunctions);
}

}  // namespace ovra
