// Template selection: finding the rule for each node of a document, with rules of the
// kinds stylesheets use (plain names, priorities, predicates, paths, unions, modes), and
// a whole identity-like transformation.
#include "generated.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/node.h"
#include "tree/qname.h"
#include "xslt/stylesheet.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace ovra::bench {
namespace {

constexpr const char* kRules = R"xsl(<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/"><xsl:apply-templates/></xsl:template>
  <xsl:template match="record"><r><xsl:apply-templates/></r></xsl:template>
  <xsl:template match="name"><xsl:value-of select="."/></xsl:template>
  <xsl:template match="field1|field2|field3">one of three</xsl:template>
  <xsl:template match="record/field4">under a record</xsl:template>
  <xsl:template match="field5[@n &gt; 500]">big</xsl:template>
  <xsl:template match="*[@kind='k3']" priority="2">kind 3</xsl:template>
  <xsl:template match="b" mode="other">bold elsewhere</xsl:template>
  <xsl:template match="text()"><xsl:value-of select="."/></xsl:template>
</xsl:stylesheet>)xsl";

constexpr const char* kIdentity = R"xsl(<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="*">
    <xsl:copy><xsl:copy-of select="@*"/><xsl:apply-templates/></xsl:copy>
  </xsl:template>
</xsl:stylesheet>)xsl";

void BM_TemplateFind(benchmark::State& state) {
  auto document = Document::fromText(generateDocument(1000), "rules.xml",
                                     Document::kSourceBufferSize, /*strip=*/false);
  document->parseAll();
  std::vector<Node*> nodes;
  for (Node* node = document->root(); node != nullptr;) {
    nodes.push_back(node);
    if (Node* child = node->firstChild()) {
      node = child;
      continue;
    }
    while (node != nullptr && node->nextSibling() == nullptr)
      node = node->parent();
    if (node != nullptr)
      node = node->nextSibling();
  }
  std::unique_ptr<Stylesheet> stylesheet = Stylesheet::fromText(kRules);
  stylesheet->load();
  const TemplateRules& rules = stylesheet->rules();
  ExpandedName defaultMode;
  for (auto _ : state) {
    for (Node* node : nodes)
      benchmark::DoNotOptimize(rules.find(node, defaultMode));
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(nodes.size()));
}
BENCHMARK(BM_TemplateFind)->Unit(benchmark::kMicrosecond);

void BM_IdentityTransform(benchmark::State& state) {
  const std::string text = generateDocument(int(state.range(0)));
  std::unique_ptr<Stylesheet> stylesheet = Stylesheet::fromText(kIdentity);
  stylesheet->load();
  CountingOutput sink;
  for (auto _ : state) {
    auto source = Document::fromText(text, "in.xml", Document::kSourceBufferSize, /*strip=*/false);
    Serializer serializer(sink);
    stylesheet->transform(*source, serializer);
    serializer.flush();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
BENCHMARK(BM_IdentityTransform)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ovra::bench
