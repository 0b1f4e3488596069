#include "xpath/runtime/context.h"

namespace ovra {

EvaluationHost::~EvaluationHost() = default;

}  // namespace ovra
