// Axis iteration over a loaded tree, with and without name-filter pruning, and whole
// location paths through the XPath engine.
#include "generated.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xpath/runtime/axis_iterators.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace ovra::bench {
namespace {

// One fully read document shared by the benchmarks of this file.
Document& loadedDocument() {
  static std::unique_ptr<Document> document = [] {
    auto made = Document::fromText(generateDocument(10000), "axes.xml", Document::kSourceBufferSize,
                                   /*strip=*/false);
    made->parseAll();
    return made;
  }();
  return *document;
}

std::int64_t walkDescendants(Node* root, NameMask mask) {
  std::unique_ptr<AxisIterator> axis = makeAxisIterator(TokenKind::AxisDescendant);
  axis->setNameMask(mask);
  axis->reset(root);
  std::int64_t count = 0;
  while (axis->next() != nullptr)
    ++count;
  return count;
}

void BM_DescendantAll(benchmark::State& state) {
  Node* root = loadedDocument().root();
  for (auto _ : state)
    benchmark::DoNotOptimize(walkDescendants(root, kAllNames));
}
BENCHMARK(BM_DescendantAll)->Unit(benchmark::kMicrosecond);

// The walk a search for one rare name makes: subtrees whose filter rules it out are
// skipped.
void BM_DescendantPruned(benchmark::State& state) {
  Node* root = loadedDocument().root();
  NameMask mask = intern("rare").bit();
  for (auto _ : state)
    benchmark::DoNotOptimize(walkDescendants(root, mask));
}
BENCHMARK(BM_DescendantPruned)->Unit(benchmark::kMicrosecond);

void runPath(benchmark::State& state, const char* path) {
  Node* root = loadedDocument().root();
  std::unique_ptr<Expr> expr = compileXPath(path, root);
  EvalContext context;
  context.contextNode = context.currentNode = context.stylesheetElement = root;
  for (auto _ : state) {
    Value value = expr->evaluate(context);
    benchmark::DoNotOptimize(value.nodes().data());
    benchmark::DoNotOptimize(value.number);
  }
}

void BM_PathRare(benchmark::State& state) {
  runPath(state, "//rare");
}
BENCHMARK(BM_PathRare)->Unit(benchmark::kMicrosecond);

void BM_PathCountAll(benchmark::State& state) {
  runPath(state, "count(//*)");
}
BENCHMARK(BM_PathCountAll)->Unit(benchmark::kMicrosecond);

void BM_PathPredicates(benchmark::State& state) {
  runPath(state, "/site/record[field1/@n > 500][name][2]/name");
}
BENCHMARK(BM_PathPredicates)->Unit(benchmark::kMicrosecond);

void BM_PathFirst(benchmark::State& state) {
  runPath(state, "(//record)[1]/name");
}
BENCHMARK(BM_PathFirst)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ovra::bench
