#include "tests/support/scratch_files.h"
#include "tests/support/test_document.h"
#include "tree/document.h"
#include "tree/document_registry.h"
#include "tree/node.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ovra {
namespace {

namespace fs = std::filesystem;

// References relative to sub/main.xml of a fresh folder that also holds sub/other.xml,
// top.xml, sp ace/c.xml and the folder dir.
class DocumentRegistryTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    fs::create_directories(dir_ / "sub");
    fs::create_directories(dir_ / "sp ace");
    fs::create_directories(dir_ / "dir");
    std::ofstream(dir_ / "sub/main.xml") << "<main/>";
    std::ofstream(dir_ / "sub/other.xml") << "<other/>";
    std::ofstream(dir_ / "top.xml") << "<top/>";
    std::ofstream(dir_ / "sp ace/c.xml") << "<c/>";
    main_ = std::make_unique<Document>((dir_ / "sub/main.xml").c_str(),
                                       Document::kSourceBufferSize, false);
    main_->parseAll();
  }

  std::unique_ptr<Document> main_;
};

TEST_F(DocumentRegistryTest, LoadsEachFileOnceWithoutParsing) {
  DocumentRegistry registry;
  String reason;
  Document* other = registry.load("other.xml", *main_, reason);
  ASSERT_NE(other, nullptr) << reason.c_str();
  EXPECT_EQ(other->chunksParsed(), 0u);
  EXPECT_EQ(other->bufferSize(), Document::kRegistryBufferSize);
  EXPECT_EQ(other->fileName().view(), (dir_ / "sub/other.xml").string());
  EXPECT_EQ(renderTree(other->root()), "<other/>");
  const std::string same[] = {"./other.xml", "../sub/other.xml", (dir_ / "sub/other.xml").string(),
                              "file://" + (dir_ / "sub/other.xml").string(), "other.xml#x"};
  for (const std::string& reference : same)
    EXPECT_EQ(registry.load(reference, *main_, reason), other) << reference;
  EXPECT_EQ(registry.size(), 1u);

  Document* c = registry.load("../sp%20ace/c.xml", *main_, reason);
  ASSERT_NE(c, nullptr) << reason.c_str();
  EXPECT_EQ(renderTree(c->root()), "<c/>");
  EXPECT_EQ(registry.load("../sp ace/c.xml", *main_, reason), c);
  // A reference resolves against the document it was written in.
  Document* top = registry.load("../top.xml", *main_, reason);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(registry.load("sub/other.xml", *top, reason), other);
}

TEST_F(DocumentRegistryTest, WhatCannotBeReadGivesItsReason) {
  DocumentRegistry registry;
  String reason;
  EXPECT_EQ(registry.load("none.xml", *main_, reason), nullptr);
  EXPECT_EQ(reason.view(), (dir_ / "sub/none.xml").string() + ": No such file or directory");
  EXPECT_EQ(registry.load("../dir", *main_, reason), nullptr);
  EXPECT_EQ(reason.view(), (dir_ / "dir").string() + ": not a regular file");
  EXPECT_EQ(registry.load("http://example.com/a.xml", *main_, reason), nullptr);
  EXPECT_EQ(reason.view(), "http://example.com/a.xml: ovra reads no network resources (an XML "
                           "catalog can map it to a local file)");
  EXPECT_EQ(registry.size(), 0u);
  // A file that appears later is found then.
  std::ofstream(dir_ / "sub/none.xml") << "<late/>";
  EXPECT_NE(registry.load("none.xml", *main_, reason), nullptr);
}

}  // namespace
}  // namespace ovra
