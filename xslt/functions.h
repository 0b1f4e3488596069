// The functions XSLT adds to XPath (XSLT 1.0 section 12 and the availability tests of
// section 15) and the registry that stylesheet expressions are compiled against: the
// XPath core, these, and the EXSLT modules.
#pragma once

#include "xpath/runtime/functions.h"

#include <string_view>

namespace ovra {

class Transformation;

// The registry of every function a stylesheet may call: the XPath core functions, the
// XSLT functions and the extension functions of xslt/exslt/. Built on first use; the
// program builds it at start-up so that nothing is built in a timed run.
const FunctionRegistry& xsltFunctions();

// Adds the nine XSLT functions (current, document, element-available, format-number,
// function-available, generate-id, key, system-property, unparsed-entity-uri) to
// registry.
void registerXsltFunctions(FunctionRegistry& registry);

// The transformation whose expression is being evaluated, found through the context's
// host; null when no transformation runs it (the XPath mode, tests).
Transformation* runningTransformation(const EvalContext& context);

}  // namespace ovra
