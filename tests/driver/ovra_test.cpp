// The C interface as an embedding program uses it.
#include "driver/ovra.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

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

TEST(OvraApiVersionTest, VersionIsThreeNumbers) {
  std::string version = ovra_version();
  int major = -1, minor = -1, patch = -1;
  EXPECT_EQ(std::sscanf(version.c_str(), "%d.%d.%d", &major, &minor, &patch), 3) << version;
}

}  // namespace
