#include "base/output.h"

namespace ovra {

Output::~Output() = default;

}  // namespace ovra
