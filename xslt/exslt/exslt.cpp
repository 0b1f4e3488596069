#include "xslt/exslt/exslt.h"

namespace ovra {

namespace {

using ModuleRegistration = void (*)(FunctionRegistry& registry);

constexpr ModuleRegistration kModules[] = {
    registerCommonModule,
    registerStringsModule,
};

}  // namespace

void registerExsltModules(FunctionRegistry& registry) {
  for (ModuleRegistration registerModule : kModules)
    registerModule(registry);
}

}  // namespace ovra
