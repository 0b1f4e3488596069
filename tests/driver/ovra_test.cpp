// The C interface as an embedding program uses it.
#include "driver/ovra.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr char kStylesheet[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
    " xmlns:q='urn:q'>"
    "<xsl:output method='text'/>"
    "<xsl:param name='greeting' select=\"'Hello'\"/><xsl:param name='q:n' select='0'/>"
    "<xsl:template match='/'><xsl:value-of select=\"concat($greeting, ', ', r/@who, ' ', $q:n)\"/>"
    "</xsl:template></xsl:stylesheet>";

// A scratch directory with the stylesheet, two sources and a stream for the results.
class OvraApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ =
        fs::temp_directory_path() / ("ovra-api-" + std::to_string(::getpid()) + "-" + info->name());
    fs::create_directories(dir_);
    write("s.xsl", kStylesheet);
    write("a.xml", "<r who='A'/>");
    write("b.xml", "<r who='B'/>");
    write("broken.xsl", "<xsl:stylesheet");
    ASSERT_EQ(ovra_start_up(), 1);
    out_ = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(out_);
    ovra_close_down();
    fs::remove_all(dir_);
  }

  void write(const char* name, const char* text) { std::ofstream(dir_ / name) << text; }
  std::string path(const char* name) const { return (dir_ / name).string(); }

  // Everything written to out_ since the last call.
  std::string taken() {
    std::rewind(out_);
    std::string text;
    for (int c; (c = std::fgetc(out_)) != EOF;)
      text += char(c);
    std::fclose(out_);
    out_ = std::tmpfile();
    return text;
  }

  fs::path dir_;
  std::FILE* out_ = nullptr;
};

TEST_F(OvraApiTest, CompilesOnceAndTransformsManyTimesWithParameters) {
  ovra_stylesheet* stylesheet = ovra_compile_stylesheet(path("s.xsl").c_str());
  ASSERT_NE(stylesheet, nullptr) << ovra_last_error();

  EXPECT_EQ(ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, nullptr, 0), 1);
  EXPECT_EQ(taken(), "Hello, A 0");

  const ovra_param params[] = {
      {"greeting", "It's \"hi\"", OVRA_PARAM_STRING},
      {"q:n", "string-length(/r/@who) + 1", OVRA_PARAM_XPATH},
      {"unknown", "ignored", OVRA_PARAM_STRING},
  };
  EXPECT_EQ(ovra_transform_file(stylesheet, path("b.xml").c_str(), out_, params, 3), 1);
  EXPECT_EQ(taken(), "It's \"hi\", B 2");
  // Parameters belong to one call only.
  EXPECT_EQ(ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, nullptr, 0), 1);
  EXPECT_EQ(taken(), "Hello, A 0");
  EXPECT_EQ(ovra_free_stylesheet(stylesheet), 1);
}

TEST_F(OvraApiTest, FailuresReturnZeroOrNullWithTheMessage) {
  EXPECT_EQ(ovra_compile_stylesheet(path("none.xsl").c_str()), nullptr);
  EXPECT_EQ(ovra_last_error(), "ovra: error: Could not open file, " + path("none.xsl") +
                                   ": No such file or directory");
  EXPECT_EQ(ovra_compile_stylesheet(path("broken.xsl").c_str()), nullptr);
  EXPECT_EQ(ovra_last_error(), path("broken.xsl") + ":1:1: error: unclosed token");
  EXPECT_EQ(ovra_compile_stylesheet(nullptr), nullptr);
  EXPECT_STREQ(ovra_last_error(), "A required argument is a null pointer");

  ovra_stylesheet* stylesheet = ovra_compile_stylesheet(path("s.xsl").c_str());
  ASSERT_NE(stylesheet, nullptr);
  EXPECT_EQ(ovra_transform_file(stylesheet, path("none.xml").c_str(), out_, nullptr, 0), 0);
  EXPECT_EQ(ovra_last_error(), "ovra: error: Could not open file, " + path("none.xml") +
                                   ": No such file or directory");

  struct {
    ovra_param param;
    const char* message;
  } cases[] = {
      {{"greeting", "1 +", OVRA_PARAM_XPATH},
       "ovra: error: Parameter greeting: Missing path expression\n"
       "  1 +\n"
       "     ^"},
      {{"z:n", "1", OVRA_PARAM_STRING},
       "ovra: error: Parameter z:n: namespace prefix not declared"},
      {{nullptr, "1", OVRA_PARAM_STRING}, "A parameter has no name or no value"},
      {{"greeting", nullptr, OVRA_PARAM_STRING}, "A parameter has no name or no value"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, &c.param, 1), 0);
    EXPECT_STREQ(ovra_last_error(), c.message);
  }
  EXPECT_EQ(ovra_transform_file(nullptr, path("a.xml").c_str(), out_, nullptr, 0), 0);
  EXPECT_EQ(ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, nullptr, 2), 0);
  EXPECT_STREQ(ovra_last_error(), "A required argument is a null pointer");
  EXPECT_EQ(taken(), "");

  // Nothing failed on the way is left behind: the stylesheet still works.
  EXPECT_EQ(ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, nullptr, 0), 1);
  EXPECT_EQ(taken(), "Hello, A 0");
  ovra_free_stylesheet(stylesheet);
  ovra_free_stylesheet(nullptr);

  EXPECT_EQ(ovra_close_down(), 1);
  EXPECT_STREQ(ovra_last_error(), "");
}

// An embedding program that transforms untrusted input limits what documents may read.
TEST_F(OvraApiTest, ExternalAccessLimitsWhatDocumentsRead) {
  fs::create_directories(dir_ / "in");
  write("in/doc.xml", "<!DOCTYPE r [<!ENTITY who SYSTEM '../who.ent'>]><r who='&#65;'>&who;</r>");
  write("who.ent", "outside");
  write("text.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:output method='text'/><xsl:template match='/'>[<xsl:value-of select='r'/>]"
        "</xsl:template></xsl:stylesheet>");
  ovra_stylesheet* stylesheet = ovra_compile_stylesheet(path("text.xsl").c_str());
  ASSERT_NE(stylesheet, nullptr);
  struct {
    ovra_external_access access;
    const char* expected;
  } cases[] = {{OVRA_EXTERNAL_ANY, "[outside]"},
               {OVRA_EXTERNAL_FOLDER, "[]"},
               {OVRA_EXTERNAL_NONE, "[]"},
               {OVRA_EXTERNAL_ANY, "[outside]"}};
  for (auto c : cases) {
    EXPECT_EQ(ovra_set_external_access(c.access), 1);
    EXPECT_EQ(ovra_transform_file(stylesheet, path("in/doc.xml").c_str(), out_, nullptr, 0), 1);
    EXPECT_EQ(taken(), c.expected) << c.access;
  }
  EXPECT_EQ(ovra_set_external_access(7), 0);
  EXPECT_STREQ(ovra_last_error(), "Not a kind of external access");
  ovra_free_stylesheet(stylesheet);
}

// Write limits bind the stylesheets compiled after them: a refused exsl:document fails
// the transformation and writes nothing.
TEST_F(OvraApiTest, WriteLimitsBindStylesheetsCompiledAfterThem) {
  fs::create_directories(dir_ / "box");
  const std::string stylesheet =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
      " xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
      "<xsl:template match='/'><exsl:document href='" +
      path("made/w.txt") + "' method='text'>w</exsl:document></xsl:template></xsl:stylesheet>";
  write("write.xsl", stylesheet.c_str());
  struct {
    int flags;
    std::string folder;
    const char* error;  // null: the file is written
  } cases[] = {{OVRA_WRITE_NO_FILES, "", "writing files is turned off"},
               {OVRA_WRITE_NO_FOLDERS, "", "making folders is turned off"},
               {0, path("box"), "outside the folder files may be written in"},
               {0, "", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    ASSERT_EQ(ovra_set_write_limits(c.flags, c.folder.empty() ? nullptr : c.folder.c_str()), 1);
    ovra_stylesheet* stylesheet = ovra_compile_stylesheet(path("write.xsl").c_str());
    ASSERT_NE(stylesheet, nullptr);
    int done = ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, nullptr, 0);
    EXPECT_EQ(done, c.error == nullptr ? 1 : 0);
    if (c.error != nullptr) {
      EXPECT_NE(std::string(ovra_last_error()).find(c.error), std::string::npos)
          << ovra_last_error();
    }
    EXPECT_EQ(fs::exists(dir_ / "made" / "w.txt"), c.error == nullptr);
    ovra_free_stylesheet(stylesheet);
  }
  EXPECT_EQ(ovra_set_write_limits(4, nullptr), 0);
  EXPECT_STREQ(ovra_last_error(), "Not a write limit");
}

TEST_F(OvraApiTest, DeepRecursionEndsWithAMessage) {
  write("deep.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:template match='/'><xsl:call-template name='t'/></xsl:template>"
        "<xsl:template name='t'><xsl:call-template name='t'/></xsl:template>"
        "</xsl:stylesheet>");
  ovra_stylesheet* stylesheet = ovra_compile_stylesheet(path("deep.xsl").c_str());
  ASSERT_NE(stylesheet, nullptr);
  EXPECT_EQ(ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, nullptr, 0), 0);
  EXPECT_EQ(ovra_last_error(), path("deep.xsl") + ":1: error: Template recursion too deep");
  ovra_free_stylesheet(stylesheet);
}

// Each failure's class, as the program's exit statuses number them.
TEST_F(OvraApiTest, FailuresTellTheirClass) {
  write("bad.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:template match='/'><xsl:value-of select='1 +'/></xsl:template></xsl:stylesheet>");
  write("stop.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:template match='/'>x<xsl:message terminate='yes'>no</xsl:message></xsl:template>"
        "</xsl:stylesheet>");
  write("fails.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:template match='/'><xsl:value-of select='key(\"none\", 1)'/></xsl:template>"
        "</xsl:stylesheet>");
  write("broken.xml", "<r>");
  EXPECT_EQ(ovra_last_status(), OVRA_OK);
  EXPECT_EQ(ovra_compile_stylesheet(path("none.xsl").c_str()), nullptr);
  EXPECT_EQ(ovra_last_status(), OVRA_STYLESHEET_UNREADABLE);
  EXPECT_EQ(ovra_compile_stylesheet(path("bad.xsl").c_str()), nullptr);
  EXPECT_EQ(ovra_last_status(), OVRA_STYLESHEET_ERROR);
  EXPECT_EQ(ovra_compile_stylesheet(nullptr), nullptr);
  EXPECT_EQ(ovra_last_status(), OVRA_USAGE_ERROR);

  ovra_stylesheet* s = ovra_compile_stylesheet(path("s.xsl").c_str());
  ovra_stylesheet* stop = ovra_compile_stylesheet(path("stop.xsl").c_str());
  ovra_stylesheet* fails = ovra_compile_stylesheet(path("fails.xsl").c_str());
  ASSERT_TRUE(s != nullptr && stop != nullptr && fails != nullptr) << ovra_last_error();
  const ovra_param badParam{"greeting", "1 +", OVRA_PARAM_XPATH};
  struct {
    ovra_stylesheet* stylesheet;
    const char* document;
    const ovra_param* param;
    int status;
  } cases[] = {
      {s, "none.xml", nullptr, OVRA_DOCUMENT_ERROR},
      {s, "broken.xml", nullptr, OVRA_DOCUMENT_ERROR},
      {s, "a.xml", &badParam, OVRA_USAGE_ERROR},
      {stop, "a.xml", nullptr, OVRA_TERMINATED},
      {fails, "a.xml", nullptr, OVRA_RUNTIME_ERROR},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ovra_transform_file(c.stylesheet, path(c.document).c_str(), out_, c.param,
                                  c.param != nullptr ? 1 : 0),
              0)
        << c.document;
    EXPECT_EQ(ovra_last_status(), c.status) << c.document << ": " << ovra_last_error();
    if (c.status == OVRA_TERMINATED) {
      EXPECT_STREQ(ovra_last_error(), "The transformation was terminated by xsl:message");
    }
  }
  taken();
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(ovra_transform_file(s, path("a.xml").c_str(), full, nullptr, 0), 0);
  EXPECT_EQ(ovra_last_status(), OVRA_OUTPUT_ERROR);
  std::fclose(full);
  ovra_close_down();
  EXPECT_EQ(ovra_last_status(), OVRA_OK);
  for (ovra_stylesheet* each : {s, stop, fails})
    ovra_free_stylesheet(each);
}

TEST_F(OvraApiTest, StylesheetsAndDocumentsFromMemory) {
  write("imported.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:template match='r'>imported <xsl:value-of select='@who'/></xsl:template>"
        "</xsl:stylesheet>");
  std::string text =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:import href='imported.xsl'/><xsl:output method='text'/>"
      "<xsl:template match='/'><xsl:apply-templates/>,"
      "<xsl:value-of select=\"document('a.xml')/r/@who\"/></xsl:template></xsl:stylesheet>";
  // Relative references resolve against the names given.
  ovra_stylesheet* stylesheet =
      ovra_compile_stylesheet_memory(text.data(), text.size(), path("mem.xsl").c_str());
  ASSERT_NE(stylesheet, nullptr) << ovra_last_error();
  std::string document = "<r who='M'/>trailing bytes not passed";
  EXPECT_EQ(ovra_transform_memory(stylesheet, document.data(), 12, path("m.xml").c_str(), out_,
                                  nullptr, 0),
            1)
      << ovra_last_error();
  EXPECT_EQ(taken(), "imported M,A");
  EXPECT_EQ(ovra_transform_memory(stylesheet, "<r", 2, nullptr, out_, nullptr, 0), 0);
  EXPECT_EQ(ovra_last_status(), OVRA_DOCUMENT_ERROR);
  EXPECT_NE(std::string(ovra_last_error()).find("document.xml"), std::string::npos)
      << ovra_last_error();
  EXPECT_EQ(ovra_transform_memory(stylesheet, nullptr, 1, nullptr, out_, nullptr, 0), 0);
  EXPECT_EQ(ovra_last_status(), OVRA_USAGE_ERROR);
  ovra_free_stylesheet(stylesheet);

  EXPECT_EQ(ovra_compile_stylesheet_memory("<x", 2, nullptr), nullptr);
  EXPECT_EQ(ovra_last_status(), OVRA_STYLESHEET_UNREADABLE);
  EXPECT_NE(std::string(ovra_last_error()).find("stylesheet.xsl"), std::string::npos)
      << ovra_last_error();
  EXPECT_EQ(ovra_compile_stylesheet_memory(nullptr, 3, nullptr), nullptr);
  EXPECT_EQ(ovra_last_status(), OVRA_USAGE_ERROR);
}

// The reports a handler got, one line each: kind, file, line, text.
std::string collectedReports;
void collect(const ovra_report* report, void* data) {
  *static_cast<int*>(data) += 1;
  collectedReports += std::to_string(report->kind) + "|" + report->file + "|" +
                      std::to_string(report->line) + "|" + report->text + "\n";
}

TEST_F(OvraApiTest, AHandlerGetsErrorsWarningsAndMessages) {
  write("talk.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>\n"
        "<xsl:template match='/'><xsl:message>hello <xsl:value-of select='r/@who'/>"
        "</xsl:message><xsl:value-of select=\"document('gone.xml')\"/>\n"
        "<xsl:message terminate='yes'>bye</xsl:message></xsl:template></xsl:stylesheet>");
  write("wrong.xsl",
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>\n"
        "<xsl:template/></xsl:stylesheet>");
  int calls = 0;
  collectedReports.clear();
  EXPECT_EQ(ovra_set_report_handler(collect, &calls), 1);
  ovra_stylesheet* stylesheet = ovra_compile_stylesheet(path("talk.xsl").c_str());
  ASSERT_NE(stylesheet, nullptr);
  EXPECT_EQ(ovra_transform_file(stylesheet, path("a.xml").c_str(), out_, nullptr, 0), 0);
  EXPECT_EQ(ovra_compile_stylesheet(path("wrong.xsl").c_str()), nullptr);
  std::string wrongError = ovra_last_error();
  EXPECT_EQ(ovra_set_report_handler(nullptr, nullptr), 1);
  ovra_free_stylesheet(stylesheet);

  std::string expected = "2||0|hello A\n";
  EXPECT_EQ(collectedReports.substr(0, expected.size()), expected) << collectedReports;
  // The warning of the missing document names the stylesheet and the line.
  EXPECT_NE(collectedReports.find("1|" + path("talk.xsl") + "|2|"), std::string::npos)
      << collectedReports;
  EXPECT_NE(collectedReports.find("2||0|bye\n"), std::string::npos) << collectedReports;
  EXPECT_NE(collectedReports.find("0|" + path("wrong.xsl") + "|2|"), std::string::npos)
      << collectedReports;
  // The error is the one ovra_last_error() gives, without the line end.
  EXPECT_NE(
      collectedReports.find(wrongError.substr(0, wrongError.find_last_not_of('\n') + 1) + "\n"),
      std::string::npos)
      << collectedReports;
  EXPECT_EQ(calls, 4) << collectedReports;
}

TEST_F(OvraApiTest, OneStylesheetServesThreadsAtOnce) {
  ovra_stylesheet* stylesheet = ovra_compile_stylesheet(path("s.xsl").c_str());
  ASSERT_NE(stylesheet, nullptr);
  constexpr int kThreads = 4;
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      std::string document = "<r who='T" + std::to_string(i) + "'/>";
      for (int round = 0; round < 5; ++round) {
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&text, &size);
        if (ovra_transform_memory(stylesheet, document.data(), document.size(), nullptr, out,
                                  nullptr, 0) != 1 ||
            i == 2)
          (void)ovra_transform_file(stylesheet, "/nonexistent.xml", out, nullptr, 0);
        std::fclose(out);
        results[i] = std::string(text, size) + "|" + ovra_last_error();
        std::free(text);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int i = 0; i < kThreads; ++i) {
    // Each thread sees its own last error only.
    std::string error =
        i == 2 ? "ovra: error: Could not open file, /nonexistent.xml: No such file or directory"
               : "";
    EXPECT_EQ(results[i], "Hello, T" + std::to_string(i) + " 0|" + error);
  }
  ovra_free_stylesheet(stylesheet);
}

TEST(OvraApiVersionTest, VersionIsThreeNumbers) {
  std::string version = ovra_version();
  int major = -1, minor = -1, patch = -1;
  EXPECT_EQ(std::sscanf(version.c_str(), "%d.%d.%d", &major, &minor, &patch), 3) << version;
}

}  // namespace
