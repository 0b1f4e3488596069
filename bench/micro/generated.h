// Inputs shared by the microbenchmarks: a generated record document with more distinct
// element names than a name filter has bits, and an Output that only counts bytes.
#pragma once

#include "base/output.h"

#include <cstddef>
#include <string>

namespace ovra::bench {

// records <record> elements under <site>, each with a few attributes and children drawn
// from kFieldNames distinct names (text with the odd character to escape), and one
// <rare/> element near the end. Deterministic.
inline constexpr int kFieldNames = 80;
std::string generateDocument(int records);

class CountingOutput : public Output {
 public:
  void write(const char*, std::size_t length) override { bytes += length; }
  void flush() override {}
  using Output::write;
  std::size_t bytes = 0;
};

}  // namespace ovra::bench
