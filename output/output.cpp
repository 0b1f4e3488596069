#include "output/output.h"

namespace ovra {

Output::~Output() = default;

}  // namespace ovra
