// Number to text and back, as string(), value-of and comparisons convert.
#include "xpath/runtime/number_format.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace ovra::bench {
namespace {

const std::vector<double>& sampleNumbers() {
  static const std::vector<double> numbers = {0,    1,     -1,        42,    3.5,  1234.5678,
                                              1e-7, 1e21,  0.1 + 0.2, 100,   -0.0, 2.0 / 3.0,
                                              1e15, 12345, 99999.99,  0.001, 7,    65536};
  return numbers;
}

void BM_FormatNumber(benchmark::State& state) {
  const std::vector<double>& numbers = sampleNumbers();
  for (auto _ : state) {
    for (double number : numbers)
      benchmark::DoNotOptimize(formatNumber(number).c_str());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(numbers.size()));
}
BENCHMARK(BM_FormatNumber);

void BM_FormatInteger(benchmark::State& state) {
  double number = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(formatNumber(number).c_str());
    number = number < 100000 ? number + 1 : 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatInteger);

void BM_ParseNumber(benchmark::State& state) {
  std::vector<std::string> texts;
  for (double number : sampleNumbers())
    texts.push_back(formatNumber(number).c_str());
  texts.insert(texts.end(), {"  12 ", "abc", "", "3.25", "-17.5", "1e3"});
  for (auto _ : state) {
    for (const std::string& text : texts)
      benchmark::DoNotOptimize(parseNumber(text));
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(texts.size()));
}
BENCHMARK(BM_ParseNumber);

}  // namespace
}  // namespace ovra::bench
