// The modes with what users add to a run: parameters, and the source on standard input.
#include "driver/entry_points.h"
#include "driver/modes.h"
#include "output/serializer.h"
#include "tests/support/scratch_files.h"
#include "tree/document.h"
#include "tree/text_buffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace ovra {
namespace {

std::string readAll(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;)
    text += char(c);
  return text;
}

constexpr char kSource[] = "<r><a>1</a><a>2</a></r>";

constexpr char kStylesheet[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:output method='text'/><xsl:param name='p' select=\"'default'\"/>"
    "<xsl:template match='/'>[<xsl:value-of select='$p'/>|<xsl:value-of select='count(//a)'/>]"
    "</xsl:template></xsl:stylesheet>";

// A scratch directory holding s.xsl and in.xml, a stream standing in for standard
// input, and the output and messages of one mode call.
class ModeInputsTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    std::ofstream(dir_ / "s.xsl") << kStylesheet;
    std::ofstream(dir_ / "in.xml") << kSource;
    std::fputs(kSource, input_.get());
    std::rewind(input_.get());
  }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  LoopEnvironment environment() {
    return LoopEnvironment{errors_.get(), [] { return std::uint32_t(0); }, input_.get()};
  }

  ExitStatus transform(const char* xmlFile, std::int32_t runs,
                       const std::vector<ParameterOption>& parameters = {}) {
    Serializer out(output_);
    return runTransformMode(path("s.xsl").c_str(), xmlFile, out, runs, environment(), parameters);
  }

  ExitStatus query(const char* expression, const char* xmlFile, std::int32_t runs,
                   const std::vector<ParameterOption>& parameters = {}) {
    Serializer out(output_);
    return runXPathMode(expression, xmlFile, out, runs, environment(), parameters);
  }

  std::string output() const { return std::string(output_.view()); }
  std::string errors() { return readAll(errors_.get()); }
  long inputPosition() { return std::ftell(input_.get()); }

  FilePtr input_{std::tmpfile()};
  FilePtr errors_{std::tmpfile()};
  TextBuffer output_;
};

// ---- Parameters ----

TEST_F(ModeInputsTest, TransformPassesStringAndExpressionParameters) {
  struct {
    std::vector<ParameterOption> parameters;
    const char* expected;
  } cases[] = {
      {{}, "[default|2]"},
      {{{"p", "it's \"both\"", false}}, "[it's \"both\"|2]"},
      {{{"p", "sum(//a) * 10", true}}, "[30|2]"},
      {{{"q", "ignored", false}}, "[default|2]"},
  };
  for (const auto& c : cases) {
    output_.clear();
    EXPECT_EQ(transform(path("in.xml").c_str(), 1, c.parameters), ExitStatus::Success);
    EXPECT_EQ(output(), c.expected);
  }
  EXPECT_EQ(errors(), "");
}

TEST_F(ModeInputsTest, XPathModeBindsParametersAsVariables) {
  std::vector<ParameterOption> parameters = {
      {"s", "it's \"both\"", false},
      {"n", "count(//a)", true},
      {"later", "concat($s, '/', $n)", true},  // sees the parameters before it
  };
  EXPECT_EQ(query("concat($later, ' ', $n + 1)", path("in.xml").c_str(), 1, parameters),
            ExitStatus::Success);
  // Like every string result of the mode, escaped as XML text.
  EXPECT_EQ(output(), "it's &quot;both&quot;/2 3\n");
  EXPECT_EQ(errors(), "");
}

TEST_F(ModeInputsTest, ParameterErrorsAreUsageErrors) {
  EXPECT_EQ(transform(path("in.xml").c_str(), 1, {{"p", "1 +", true}}), ExitStatus::UsageError);
  EXPECT_EQ(errors(), "ovra: error: Parameter p: Missing path expression\n"
                      "  1 +\n"
                      "     ^\n");
  EXPECT_EQ(output(), "");
}

TEST_F(ModeInputsTest, XPathModeParameterErrorsNameTheParameter) {
  EXPECT_EQ(query("$p", path("in.xml").c_str(), 1, {{"p", "$q", true}}), ExitStatus::UsageError);
  EXPECT_EQ(errors(), "ovra: error: Parameter p: Reference to undefined variable, $q\n"
                      "  $q\n"
                      "  ^\n");
}

// ---- Standard input ----

TEST_F(ModeInputsTest, TransformReadsStandardInputForTheDash) {
  EXPECT_EQ(transform("-", 1), ExitStatus::Success);
  EXPECT_EQ(output(), "[default|2]");
  EXPECT_EQ(errors(), "");
}

TEST_F(ModeInputsTest, SeveralTransformRunsReadStandardInputOnce) {
  EXPECT_EQ(transform("-", 3, {{"p", "x", false}}), ExitStatus::Success);
  EXPECT_EQ(output(), "[x|2][x|2][x|2]");
  EXPECT_EQ(errors(), "\nOVRA: 3 runs, total=0(ms), avg=0.00(ms)\n");
}

TEST_F(ModeInputsTest, NoRunsLeaveStandardInputUnread) {
  EXPECT_EQ(transform("-", 0), ExitStatus::Success);
  EXPECT_EQ(inputPosition(), 0);
}

TEST_F(ModeInputsTest, XPathModeReadsStandardInputOnceForAllRuns) {
  EXPECT_EQ(query("//a", "-", 2), ExitStatus::Success);
  EXPECT_EQ(output(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>1</a>\n<a>2</a>\n"
                      "<a>1</a>\n<a>2</a>\n");
}

TEST_F(ModeInputsTest, StandardInputIsNamedInMessages) {
  FilePtr broken(std::tmpfile());
  std::fputs("<r>\n</s>", broken.get());
  std::rewind(broken.get());
  input_ = std::move(broken);
  EXPECT_EQ(transform("-", 1), ExitStatus::DocumentError);
  EXPECT_EQ(errors(), "(standard input):2:3: error: mismatched tag: expected </r> (to close <r> "
                      "from line 1), found </s>\n");
}

}  // namespace
}  // namespace ovra
