// Documents read from an open stream (standard input) rather than a named file.
#include "base/exceptions.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_document.h"
#include "tree/document.h"
#include "tree/document_registry.h"
#include "tree/node.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace ovra {
namespace {

namespace fs = std::filesystem;

FilePtr streamOf(const std::string& text) {
  FilePtr file(std::tmpfile());
  std::fwrite(text.data(), 1, text.size(), file.get());
  std::rewind(file.get());
  return file;
}

std::string manyItems(int count) {
  std::string text = "<r>\n";
  for (int i = 0; i < count; ++i)
    text += "<item n='" + std::to_string(i) + "'>text " + std::to_string(i) + "</item>\n";
  return text + "</r>";
}

TEST(DocumentStreamTest, ReadsOneBufferPerChunkAndLeavesTheStreamOpen) {
  std::string text = manyItems(20000);
  FilePtr stream = streamOf(text);
  auto document = Document::fromStream(stream.get(), "(standard input)", 4096, false);
  ASSERT_TRUE(document->parseChunk());
  EXPECT_EQ(std::ftell(stream.get()), 4096);
  Node* r = document->root()->firstChild();
  EXPECT_FALSE(r->isComplete());

  document->parseAll();
  EXPECT_EQ(std::ftell(stream.get()), long(text.size()));
  EXPECT_EQ(document->chunksParsed(), text.size() / 4096 + 1);
  // Not closed: the stream still answers.
  EXPECT_EQ(std::fgetc(stream.get()), EOF);
  EXPECT_FALSE(std::ferror(stream.get()));
}

TEST(DocumentStreamTest, ReadBufferSizeDoesNotChangeTheTree) {
  std::string text = "<?xml version='1.0'?>\n<!-- c --><r xmlns:p='urn:p' a='1'>\n"
                     "  <p:e>x&amp;y<![CDATA[ < ]]></p:e><?pi data?>\n</r>";
  std::string expected = TestDocument(text).render();
  for (std::size_t buffer : {1, 2, 7, 65536}) {
    FilePtr stream = streamOf(text);
    auto document = Document::fromStream(stream.get(), "-", buffer, false);
    document->parseChunk();
    EXPECT_EQ(renderTree(document->root()), expected) << "buffer " << buffer;
  }
}

TEST(DocumentStreamTest, MessagesUseTheGivenName) {
  struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"<r>\n</s>",
       "(standard input):2:3: error: mismatched tag: expected </r> (to close <r> from line 1), "
       "found </s>"},
      {"", "(standard input):1:1: error: no element found"},
  };
  for (const auto& c : cases) {
    FilePtr stream = streamOf(c.text);
    auto document = Document::fromStream(stream.get(), "(standard input)", 4096, false);
    try {
      document->parseAll();
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const DocumentParseException& error) {
      EXPECT_EQ(error.message().view(), c.message);
    }
  }
}

TEST(DocumentStreamTest, RelativeReferencesResolveInTheCurrentDirectory) {
  fs::path dir = fs::temp_directory_path() / ("ovra-stream-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "other.xml") << "<other/>";
  fs::path previous = fs::current_path();
  fs::current_path(dir);
  {
    FilePtr stream = streamOf("<r/>");
    auto document = Document::fromStream(stream.get(), "(standard input)", 4096, false);
    document->parseAll();
    DocumentRegistry registry;
    String reason;
    Document* opened = registry.load("other.xml", *document, reason);
    ASSERT_NE(opened, nullptr) << reason.c_str();
    EXPECT_EQ(opened->fileName().view(), (dir / "other.xml").string());
    EXPECT_EQ(renderTree(opened->root()), "<other/>");
  }
  fs::current_path(previous);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ovra
