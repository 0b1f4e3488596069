// The serializer: a whole tree written as XML, and escaped character data.
#include "generated.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/node.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace ovra::bench {
namespace {

void BM_SerializeTree(benchmark::State& state) {
  auto document = Document::fromText(generateDocument(int(state.range(0))), "ser.xml",
                                     Document::kSourceBufferSize, /*strip=*/false);
  document->parseAll();
  CountingOutput sink;
  for (auto _ : state) {
    Serializer serializer(sink);
    serializer.settings().omitXmlDeclaration = true;
    serializer.copyNode(document->root()->firstChild());
    serializer.flush();
  }
  state.SetBytesProcessed(std::int64_t(sink.bytes));
}
BENCHMARK(BM_SerializeTree)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_EscapeText(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += i % 10 == 0 ? "a < b & \"c\" ]]> d " : "plain running text, ";
  CountingOutput sink;
  Serializer serializer(sink);
  serializer.settings().omitXmlDeclaration = true;
  for (auto _ : state)
    serializer.write(text.data(), text.size());
  serializer.flush();
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
BENCHMARK(BM_EscapeText);

}  // namespace
}  // namespace ovra::bench
