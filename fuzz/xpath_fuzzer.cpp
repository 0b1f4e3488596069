// libFuzzer entry: one input as an XPath expression, compiled and evaluated against a small fixed
// document and printed as the -p mode prints it.
#include "driver/entry_points.h"
#include "tests/support/fuzz_inputs.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ovra::startUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size <= ovra::kMaxFuzzInput)
    ovra::runXPathFuzzInput({reinterpret_cast<const char*>(data), size});
  return 0;
}
