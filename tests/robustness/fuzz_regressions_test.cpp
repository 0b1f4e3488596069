// Replays every input the fuzzers once failed on (tests/fuzz_regressions/<target>/) and
// every seed of their corpora (fuzz/corpus/<target>/) through the code the fuzz target
// runs, so found bugs stay fixed in the normal and the sanitizer builds. A broken
// invariant aborts; the name of the input being replayed is on standard error.
#include "tests/support/fuzz_inputs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ovra {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  if (fs::is_directory(dir)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      if (entry.is_regular_file())
        files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replays the saved reproducers, then the seeds; answers how many inputs ran.
std::size_t replay(const char* target, void (*run)(std::string_view)) {
  const fs::path source = OVRA_TEST_SOURCE_DIR;
  std::vector<fs::path> inputs = filesIn(source / "fuzz_regressions" / target);
  std::vector<fs::path> seeds = filesIn(source.parent_path() / "fuzz" / "corpus" / target);
  inputs.insert(inputs.end(), seeds.begin(), seeds.end());
  for (const fs::path& path : inputs) {
    std::fprintf(stderr, "replaying %s\n", path.c_str());
    std::string input = contentOf(path);
    if (input.size() <= kMaxFuzzInput)
      run(input);
  }
  return inputs.size();
}

TEST(FuzzRegressionTest, XmlInputsLoadAndWalk) {
  EXPECT_GT(replay("xml", runXmlFuzzInput), 0u);
}

TEST(FuzzRegressionTest, XPathInputsCompileAndEvaluate) {
  EXPECT_GT(replay("xpath", runXPathFuzzInput), 0u);
}

TEST(FuzzRegressionTest, XsltInputsCompileAndTransform) {
  EXPECT_GT(replay("xslt", runXsltFuzzInput), 0u);
}

}  // namespace
}  // namespace ovra
