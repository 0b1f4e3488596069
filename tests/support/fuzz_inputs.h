// What the fuzz targets do with one input, shared by the libFuzzer entry points under
// fuzz/ and the unit test that replays the saved reproducers, so both run the same code.
// Rejected input (any XSLException) is fine; a broken invariant prints what broke and
// aborts, which both the fuzzer and the test runner report as a failure.
#pragma once

#include <cstddef>
#include <string_view>

namespace ovra {

// Larger inputs are skipped: they find nothing small ones cannot, only slower.
inline constexpr std::size_t kMaxFuzzInput = 4096;

// The first byte chooses the read-buffer size (1 to 64 bytes, low six bits), whitespace
// stripping (bit 6) and how far ahead the walk looks (bit 7); the rest is loaded as a
// document and walked along every axis, first while it is still being read, then once
// it is complete, and the tree is compared with the one a load in one chunk builds.
void runXmlFuzzInput(std::string_view input);

// The input is an XPath expression, compiled against a small fixed document that is read
// in 7-byte chunks, then evaluated whole, selected node by node and printed as the -p
// mode prints it, into memory.
void runXPathFuzzInput(std::string_view input);

// A stylesheet, then a NUL byte, then the source document (without a NUL byte the input
// is both). The stylesheet is compiled once and run twice, on the source read in 7-byte
// chunks and in one, into memory; both runs must write the same result.
void runXsltFuzzInput(std::string_view input);

}  // namespace ovra
