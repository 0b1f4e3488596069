// Building the tree: the expat callbacks, name interning and the arena, for a document
// read from memory in source-sized chunks.
#include "generated.h"
#include "tree/document.h"
#include "tree/name_pool.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace ovra::bench {
namespace {

void BM_LoadDocument(benchmark::State& state) {
  const std::string text = generateDocument(int(state.range(0)));
  for (auto _ : state) {
    auto document =
        Document::fromText(text, "bench.xml", Document::kSourceBufferSize, /*strip=*/false);
    document->parseAll();
    benchmark::DoNotOptimize(document->root());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
BENCHMARK(BM_LoadDocument)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Names that are in the pool already, as the loader sees them for every tag.
void BM_InternKnownNames(benchmark::State& state) {
  std::vector<std::string> names;
  for (int i = 0; i < kFieldNames; ++i)
    names.push_back("field" + std::to_string(i));
  names.insert(names.end(), {"record", "name", "id", "kind", "n", "b", "site"});
  for (const std::string& name : names)
    intern(name);
  for (auto _ : state) {
    for (const std::string& name : names)
      benchmark::DoNotOptimize(intern(name).c_str());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(names.size()));
}
BENCHMARK(BM_InternKnownNames);

// A namespaced name as expat reports it, split and interned in two parts.
void BM_InternNewNames(benchmark::State& state) {
  NamePool pool;
  std::int64_t counter = 0;
  for (auto _ : state) {
    std::string name = "generated-name-" + std::to_string(counter++);
    benchmark::DoNotOptimize(pool.intern(name).c_str());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InternNewNames);

}  // namespace
}  // namespace ovra::bench
