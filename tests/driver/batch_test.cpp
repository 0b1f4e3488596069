// Several documents at once (-j): every result and every report must be what -j1 gives,
// reports in document order, whatever order the documents finish in.
#include "tests/support/program_run.h"
#include "tests/support/scratch_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovra {
namespace {

// Documents that fail in each way a run can, among ones that succeed: the message of
// each names its document, and a big one finishes after its smaller successors. Every
// document also writes shared.txt: the last one's stands, as one at a time.
constexpr const char* kStylesheet =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
    " xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
    "<xsl:output omit-xml-declaration='yes'/>"
    "<xsl:template match='/'><xsl:message>start <xsl:value-of select='*/@n'/></xsl:message>"
    "<xsl:if test='*/@n = 4'><xsl:message terminate='yes'>stop 4</xsl:message></xsl:if>"
    "<xsl:if test='*/@n = 6'><xsl:value-of select='document(\"missing.xml\")'/></xsl:if>"
    "<exsl:document href='shared.txt' method='text'><xsl:value-of select='*/@n'/>"
    "</exsl:document>"
    "<r n='{*/@n}'><xsl:value-of select='count(//*)'/></r></xsl:template>"
    "</xsl:stylesheet>";

class BatchTest : public ScratchDirTest {
 protected:
  // Writes the documents d01.xml to d12.xml and answers their names.
  std::vector<std::string> writeDocuments() {
    std::vector<std::string> names;
    for (int n = 1; n <= 12; ++n) {
      std::string name = (n < 10 ? "d0" : "d") + std::to_string(n) + ".xml";
      std::string content;
      if (n == 8) {
        content = "<d n='8'><unclosed></d>";
      } else {
        content = "<d n='" + std::to_string(n) + "'>";
        // The first document is the big one.
        for (int i = 0; i < (n == 1 ? 200000 : 3); ++i)
          content += "<e/>";
        content += "</d>";
      }
      write(name, content);
      names.push_back(name);
    }
    return names;
  }

  ProgramRun runWith(const std::string& jobs, const std::string& folder,
                     const std::vector<std::string>& documents) {
    std::filesystem::create_directory(dir_ / folder);
    std::vector<std::string> arguments{jobs, "-o", folder + "/", "s.xsl"};
    arguments.insert(arguments.end(), documents.begin(), documents.end());
    return runProgram({dir_, arguments, "", ""});
  }
};

TEST_F(BatchTest, ConcurrentRunsMatchOneAtATime) {
  write("s.xsl", kStylesheet);
  std::vector<std::string> documents = writeDocuments();
  ProgramRun alone = runWith("-j1", "one", documents);
  ProgramRun together = runWith("-j4", "four", documents);
  std::filesystem::create_directory(dir_ / "three");
  ProgramRun spaced = runProgram({dir_, {"--jobs", "3", "-o", "three/", "s.xsl", "d02.xml",
                                         "d03.xml", "d05.xml"}, "", ""});
  EXPECT_EQ(spaced.status, 0) << spaced.err;

  // The first failure in document order: the terminated document.
  EXPECT_EQ(alone.status, 10) << alone.err;
  EXPECT_EQ(together.status, alone.status);
  EXPECT_EQ(together.err, alone.err);
  EXPECT_EQ(together.out, "");
  for (const char* expected : {"start 1\nstart 2\nstart 3\nstart 4\nstop 4\nstart 5\n", "d08.xml",
                               "missing.xml", "start 12\n"})
    EXPECT_NE(alone.err.find(expected), std::string::npos) << expected << " in\n" << alone.err;
  EXPECT_LT(alone.err.find("start 7"), alone.err.find("d08.xml"));
  EXPECT_LT(alone.err.find("d08.xml"), alone.err.find("start 9"));
  for (const std::string& document : documents) {
    std::string one = contentOf(dir_ / "one" / document);
    EXPECT_EQ(contentOf(dir_ / "four" / document), one) << document;
    // Failed documents leave no result behind.
    bool failed = document == "d04.xml" || document == "d08.xml";
    EXPECT_EQ(one.empty(), failed) << document;
  }
  EXPECT_EQ(contentOf(dir_ / "four" / "d05.xml"), "<r n=\"5\">4</r>");
  EXPECT_EQ(contentOf(dir_ / "one" / "shared.txt"), "12");
  EXPECT_EQ(contentOf(dir_ / "four" / "shared.txt"), "12");
}

// -p over several documents takes the same path as a transformation.
TEST_F(BatchTest, QueriesRunConcurrentlyAsOneAtATime) {
  std::vector<std::string> documents = writeDocuments();
  auto query = [&](const std::string& jobs, const std::string& folder) {
    std::filesystem::create_directory(dir_ / folder);
    std::vector<std::string> arguments{jobs, "-p", "count(//e)", "-o", folder + "/"};
    arguments.insert(arguments.end(), documents.begin(), documents.end());
    return runProgram({dir_, arguments, "", ""});
  };
  ProgramRun alone = query("-j1", "one");
  ProgramRun together = query("-j3", "three");
  EXPECT_EQ(alone.status, 6) << alone.err;  // d08.xml is not well-formed
  EXPECT_EQ(together.status, alone.status);
  EXPECT_EQ(together.err, alone.err);
  for (const std::string& document : documents)
    EXPECT_EQ(contentOf(dir_ / "three" / document), contentOf(dir_ / "one" / document)) << document;
  EXPECT_EQ(contentOf(dir_ / "three" / "d01.xml"), "200000\n");
}

TEST_F(BatchTest, BadJobCountsAreUsageErrors) {
  write("s.xsl", kStylesheet);
  write("d.xml", "<d/>");
  for (const char* word : {"0", "x", "-1", "2x", "1025"}) {
    ProgramRun run = runProgram({dir_, {"-j", word, "s.xsl", "d.xml"}, "", ""});
    EXPECT_EQ(run.status, 2) << word;
    EXPECT_NE(run.err.find(std::string("'") + word + "'"), std::string::npos) << run.err;
  }
  ProgramRun attached = runProgram({dir_, {"-j0", "s.xsl", "d.xml"}, "", ""});
  EXPECT_EQ(attached.status, 2) << attached.err;
}

}  // namespace
}  // namespace ovra
