// libFuzzer entry: one input as a stylesheet and a source document separated by a NUL
// byte, compiled and transformed into memory.
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
    ovra::runXsltFuzzInput({reinterpret_cast<const char*>(data), size});
  return 0;
}
