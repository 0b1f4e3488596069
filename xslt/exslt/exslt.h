// The EXSLT extension functions (exslt.org), one module per file in this folder, each
// registering its functions by expanded name, so that any prefix a stylesheet binds to a
// module's namespace finds them.
//
// Adding a function to a module is one row in that module's table and its
// implementation beside it. Adding a module is one file here that defines
//   void registerXxxModule(FunctionRegistry& registry)
// declared below, and one line in kModules of exslt.cpp. Implementations follow the
// contract of XPathFunction (xpath/runtime/functions.h): the compiler has checked the
// argument count against the row's bounds, errors are EvaluateExceptions at the call,
// and the helpers there (StringArg, firstNode, nodeMembers) read arguments without
// copies. Functions that need the running transformation find it with
// runningTransformation() of xslt/functions.h. A module's table test goes to
// tests/xslt/exslt/, one row per case.
#pragma once

#include "xpath/runtime/functions.h"

#include <string_view>

namespace ovra {

// The namespace names of the modules.
inline constexpr std::string_view kExsltCommonNamespace = "http://exslt.org/common";
inline constexpr std::string_view kExsltDatesNamespace = "http://exslt.org/dates-and-times";
inline constexpr std::string_view kExsltDynamicNamespace = "http://exslt.org/dynamic";
inline constexpr std::string_view kExsltFunctionsNamespace = "http://exslt.org/functions";
inline constexpr std::string_view kExsltMathNamespace = "http://exslt.org/math";
inline constexpr std::string_view kExsltSetsNamespace = "http://exslt.org/sets";
inline constexpr std::string_view kExsltStringsNamespace = "http://exslt.org/strings";

// common: exsl:node-set, exsl:object-type.
void registerCommonModule(FunctionRegistry& registry);
// dates and times: date:date-time, date:date, date:time, date:year, date:leap-year,
// date:month-in-year, date:month-name, date:month-abbreviation, date:week-in-year,
// date:day-in-year, date:day-in-month, date:day-of-week-in-month, date:day-in-week,
// date:day-name, date:day-abbreviation, date:hour-in-day, date:minute-in-hour,
// date:second-in-minute, date:add, date:add-duration, date:difference, date:duration,
// date:seconds, date:sum.
void registerDatesModule(FunctionRegistry& registry);
// dynamic: dyn:evaluate, dyn:map, dyn:min, dyn:max, dyn:sum, dyn:closure.
void registerDynamicModule(FunctionRegistry& registry);
// math: math:min, math:max, math:highest, math:lowest, math:abs, math:sqrt, math:power,
// math:constant, math:log, math:exp, math:sin, math:cos, math:tan, math:asin, math:acos,
// math:atan, math:atan2, math:random.
void registerMathModule(FunctionRegistry& registry);
// sets: set:difference, set:distinct, set:has-same-node, set:intersection, set:leading,
// set:trailing.
void registerSetsModule(FunctionRegistry& registry);
// strings: str:padding.
void registerStringsModule(FunctionRegistry& registry);

// Registers every module above.
void registerExsltModules(FunctionRegistry& registry);

}  // namespace ovra
