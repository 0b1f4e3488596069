// Runs the ovra program on hostile input: absurd sizes and depths, entity tricks,
// malformed bytes, files that are not what they claim. Every row either answers
// correctly or prints a clear message and exits with the status of its class; none may crash, hang
// or leak what it must not read.
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ovra {
namespace {

namespace fs = std::filesystem;

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// How the first file of a row is made unusual before the run.
enum class Special {
  None,
  Directory,   // a directory of that name instead of a file
  Unreadable,  // the file exists without read permission
  LinkOut,     // a symbolic link to a file with that content outside the work directory
  Fifo,        // a named pipe that nobody writes to
};

struct HostileCase {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;  // written into the work dir
  std::vector<std::string> arguments;
  int status;
  // The whole standard output; none when a failed transformation may leave any part of
  // its result behind.
  std::optional<std::string> out;
  std::string err;  // the whole standard error
  Special special = Special::None;
};

std::string repeat(const std::string& text, std::size_t count) {
  std::string result;
  result.reserve(text.size() * count);
  for (std::size_t i = 0; i < count; ++i)
    result += text;
  return result;
}

std::string joined(const std::string& item, const std::string& separator, std::size_t count) {
  return item + repeat(separator + item, count - 1);
}

// Where the rows run; messages name files in it by their full paths.
fs::path workDirectory() {
  return fs::temp_directory_path() / ("ovra-hostile-" + std::to_string(::getpid()));
}

std::vector<HostileCase> hostileCases() {
  const std::string deep = repeat("<a>", 99999) + "<a/>" + repeat("</a>", 99999);
  const std::string longValue = "<r v=\"" + std::string(100000, 'x') + "\"/>";
  const std::string longName = "<" + std::string(100000, 'n') + "/>";
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ENTITY l0 \"lol\">\n";
  for (int i = 1; i <= 9; ++i)
    laughs += "<!ENTITY l" + std::to_string(i) + " \"" +
              repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">\n";
  laughs += "]>\n<r>&l9;</r>\n";
  const std::pair<std::string, std::string> small{"s.xml", "<r><a>1</a></r>"};
  const std::string deepText = repeat("<a>", 99999) + "<a>t</a>" + repeat("</a>", 99999);
  const fs::path work = workDirectory();
  const std::string noNetwork =
      ": ovra reads no network resources (an XML catalog can map it to a local file)";
  auto stylesheet = [](const std::string& name, const std::string& body) {
    return std::pair<std::string, std::string>(
        name, "<xsl:stylesheet version=\"1.0\" "
              "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n" +
                  body + "\n</xsl:stylesheet>\n");
  };

  // clang-format off
  return {
      // Depth: every walk over the tree is iterative, so only memory bounds it.
      {"deep document counted", {{"deep.xml", deep}},
       {"-p", "count(//*)", "deep.xml"}, 0, "100000\n", ""},
      {"deep document serialised", {{"deep.xml", deep}},
       {"-p", "/*", "deep.xml"}, 0, kDeclaration + deep + "\n", ""},
      {"deep document string value", {{"deep.xml", "<b>" + deep + "t</b>"}},
       {"-p", "concat(string-length(/), /)", "deep.xml"}, 0, "1t\n", ""},
      // Size of single items.
      {"long attribute value", {{"long.xml", longValue}},
       {"-p", "string-length(/r/@v)", "long.xml"}, 0, "100000\n", ""},
      {"long attribute value serialised", {{"long.xml", longValue}},
       {"-p", "/r", "long.xml"}, 0, kDeclaration + longValue + "\n", ""},
      {"long element name", {{"long.xml", longName}},
       {"-p", "string-length(name(/*))", "long.xml"}, 0, "100000\n", ""},
      {"long element name serialised", {{"long.xml", longName}},
       {"-p", "/*", "long.xml"}, 0, kDeclaration + longName + "\n", ""},
      // Entities: expansion is bounded by the parser; nothing outside is ever read.
      {"billion laughs", {{"laughs.xml", laughs}},
       {"-p", "string-length(/r)", "laughs.xml"}, 6, "",
       "limit on input amplification factor (from DTD and entities) breached at 14 of "
       "laughs.xml\n"},
      {"external entity never fetched from the network",
       {{"ext.xml", "<!DOCTYPE r [<!ENTITY x SYSTEM \"http://localhost/x\">]>\n<r>&x;</r>"}},
       {"-p", "/r", "ext.xml"}, 0, kDeclaration + std::string("<r/>\n"),
       "ext.xml:2: warning: external entity not read: http://localhost/x" + noNetwork + "\n"},
      // --external limits what a document may read besides itself.
      {"external entity outside the folder",
       {{"ext.xml", "<!DOCTYPE r [<!ENTITY x SYSTEM \"/etc/passwd\">]>\n<r>&x;</r>"}},
       {"--external", "folder", "-p", "/r", "ext.xml"}, 0, kDeclaration + std::string("<r/>\n"),
       "ext.xml:2: warning: external entity not read: /etc/passwd: outside the folder of the "
       "document\n"},
      {"external entity through a link out of the folder",
       {{"e.ent", "SECRET"}, {"doc.xml", "<!DOCTYPE r [<!ENTITY e SYSTEM 'e.ent'>]>\n<r>&e;</r>"}},
       {"--external", "folder", "-p", "/r", "doc.xml"}, 0, kDeclaration + std::string("<r/>\n"),
       "doc.xml:2: warning: external entity not read: " + (work / "e.ent").string() +
           ": outside the folder of the document\n", Special::LinkOut},
      {"external DTD turned off",
       {{"x.dtd", "<!ENTITY x 'X'>"}, {"ext.xml", "<!DOCTYPE r SYSTEM 'x.dtd'>\n<r>&x;</r>"}},
       {"--external", "none", "-p", "/r", "ext.xml"}, 0, kDeclaration + std::string("<r/>\n"),
       "ext.xml:2: warning: undefined entity 'x': DTD not read: " + (work / "x.dtd").string() +
           ": reading external files is turned off\n"},
      {"document() outside the folder",
       {{"in.xml", "<r/>"}, {"s.xsl", "<xsl:stylesheet version='1.0' "
                                      "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                                      "<xsl:template match='/'><xsl:copy-of "
                                      "select=\"document('/etc/passwd')\"/></xsl:template>"
                                      "</xsl:stylesheet>"}},
       {"--external", "folder", "s.xsl", "in.xml"}, 6, "",
       "/etc/passwd: outside the folder of the document\n"},
      {"external entity that is a named pipe",
       {{"e.ent", ""}, {"doc.xml", "<!DOCTYPE r [<!ENTITY e SYSTEM 'e.ent'>]>\n<r>&e;</r>"}},
       {"-p", "/r", "doc.xml"}, 0, kDeclaration + std::string("<r/>\n"),
       "doc.xml:2: warning: external entity not read: " + (work / "e.ent").string() +
           ": not a regular file\n", Special::Fifo},
      {"external DTD never fetched from the network",
       {{"ext.xml", "<!DOCTYPE r SYSTEM \"http://localhost/x.dtd\">\n<r>&x;</r>"}},
       {"-p", "/r", "ext.xml"}, 0, kDeclaration + std::string("<r/>\n"),
       "ext.xml:1: warning: DTD not read: http://localhost/x.dtd" + noNetwork + "\n"
       "ext.xml:2: warning: undefined entity 'x': DTD not read: http://localhost/x.dtd" +
           noNetwork + "\n"},
      // Bytes that are not XML text.
      {"invalid UTF-8 in a document", {{"bad.xml", "<r>\n\xff\xfe</r>"}},
       {"-p", "/r", "bad.xml"}, 6, "", "not well-formed (invalid token) at 2 of bad.xml\n"},
      {"NUL byte in a document", {{"nul.xml", std::string("<r>a\0b</r>", 9)}},
       {"-p", "/r", "nul.xml"}, 6, "", "not well-formed (invalid token) at 1 of nul.xml\n"},
      {"empty document", {{"empty.xml", ""}},
       {"-p", "/", "empty.xml"}, 6, "", "no element found at 1 of empty.xml\n"},
      // Files that cannot be read or written.
      {"document that is a directory", {{"dir.xml", ""}},
       {"-p", "/", "dir.xml"}, 6, "", "Could not read file, dir.xml\n", Special::Directory},
      {"unreadable document", {{"locked.xml", "<r/>"}},
       {"-p", "/", "locked.xml"}, 6, "", "Could not open file, locked.xml\n",
       Special::Unreadable},
      {"missing document", {},
       {"-p", "/", "missing.xml"}, 6, "", "Could not open file, missing.xml\n"},
      {"output in a missing directory", {small},
       {"-p", "/", "s.xml", "missing/out.txt"}, 11, "",
       "Could not create output file, missing/out.txt: No such file or directory\n"},
      // Hostile expressions on the command line.
      {"invalid UTF-8 in an expression", {small},
       {"-p", "//a | \xff", "s.xml"}, 5, "", "Syntax error in expression at 6\n"},
      {"invalid UTF-8 in an expression's literal", {small},
       {"-p", "concat('a', '\xc3(')", "s.xml"}, 5, "", "Syntax error in expression at 12\n"},
      {"10000 parentheses", {small},
       {"-p", repeat("(", 10000) + "1" + repeat(")", 10000), "s.xml"}, 5, "",
       "Expression nested too deeply at 1000\n"},
      {"10000 nested predicates", {small},
       {"-p", repeat("a[", 10000) + "1" + repeat("]", 10000), "s.xml"}, 5, "",
       "Expression nested too deeply at 2001\n"},
      {"100000 characters of additions", {small},
       {"-p", joined("1", "+", 50000), "s.xml"}, 0, "50000\n", ""},
      {"100000 characters of negations", {small},
       {"-p", repeat("-", 99999) + "1", "s.xml"}, 0, "-1\n", ""},
      {"100000 characters of path steps", {small},
       {"-p", "/r" + repeat("/a", 49999), "s.xml"}, 0, "", ""},
      {"100000 characters of unions", {small},
       {"-p", joined("//a", "|", 25000), "s.xml"}, 0,
       kDeclaration + std::string("<a>1</a>\n"), ""},
      {"100000 character literal", {small},
       {"-p", "string-length('" + std::string(99984, 'x') + "')", "s.xml"}, 0, "99984\n", ""},
      // Transformations: depth and endless recursion stop with a message, never on the stack.
      {"deep document through the built-in rules",
       {{"deep.xml", deepText}, stylesheet("s.xsl", "")},
       {"s.xsl", "deep.xml"}, 0, std::string(kDeclaration) + "t", ""},
      {"deep document copied",
       {{"deep.xml", deepText},
        stylesheet("s.xsl", "<xsl:template match='/'><xsl:copy-of select='.'/></xsl:template>")},
       {"s.xsl", "deep.xml"}, 0, kDeclaration + deepText, ""},
      {"endless template recursion",
       {small, stylesheet("s.xsl", "<xsl:template match='/'><xsl:call-template name='t'/>"
                                   "</xsl:template>\n<xsl:template name='t'><x>"
                                   "<xsl:call-template name='t'/></x></xsl:template>")},
       {"s.xsl", "s.xml"}, 9, std::nullopt, "Template recursion too deep on line 3 in s.xsl\n\n"},
      {"endless apply-templates",
       {small, stylesheet("s.xsl", "<xsl:template match='/'>"
                                   "<xsl:apply-templates select='.'/></xsl:template>")},
       {"s.xsl", "s.xml"}, 9, std::nullopt, "Template recursion too deep on line 2 in s.xsl\n\n"},
      {"circular global variables",
       {small, stylesheet("s.xsl", "<xsl:variable name='a' select='$b'/>\n"
                                   "<xsl:variable name='b' select='$a'/>\n"
                                   "<xsl:template match='/'><xsl:value-of select='$a'/>"
                                   "</xsl:template>")},
       {"s.xsl", "s.xml"}, 9, "", "Circular reference to global variable a on line 2 in s.xsl\n\n"},
      {"invalid UTF-8 in a stylesheet",
       {small, stylesheet("s.xsl", "<xsl:template match='/'>\xff</xsl:template>")},
       {"s.xsl", "s.xml"}, 4, "", "not well-formed (invalid token) at 2 of s.xsl\n"},
      {"stylesheet that is a directory", {{"s.xsl", ""}, small},
       {"s.xsl", "s.xml"}, 4, "", "Could not read file, s.xsl\n", Special::Directory},
      {"empty stylesheet", {{"s.xsl", ""}, small},
       {"s.xsl", "s.xml"}, 4, "", "no element found at 1 of s.xsl\n"},
  };
  // clang-format on
}

class HostileInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = workDirectory();
    outside_ = fs::temp_directory_path() / ("ovra-hostile-outside-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_ / "locked.xml", fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
    fs::remove(outside_, ignored);
  }

  fs::path dir_;
  fs::path outside_;  // a file next to the work directory, not in it
};

TEST_F(HostileInputTest, EachRowAnswersOrFailsClearly) {
  for (const HostileCase& row : hostileCases()) {
    SCOPED_TRACE(row.name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& [name, content] : row.files)
      std::ofstream(dir_ / name, std::ios::binary) << content;
    const fs::path first = row.files.empty() ? fs::path() : dir_ / row.files[0].first;
    if (row.special == Special::LinkOut) {
      fs::remove(first);
      std::ofstream(outside_, std::ios::binary) << row.files[0].second;
      fs::create_symlink(outside_, first);
    } else if (row.special == Special::Fifo) {
      fs::remove(first);
      ASSERT_EQ(::mkfifo(first.c_str(), 0600), 0);
    } else if (row.special == Special::Directory) {
      fs::remove(first);
      fs::create_directory(first);
    } else if (row.special == Special::Unreadable) {
      fs::permissions(first, fs::perms::none);
      // Root reads anything: then the row proves nothing.
      if (::access(first.c_str(), R_OK) == 0)
        continue;
    }
    ProgramRun result = runProgram({dir_, row.arguments, "", ""});
    ASSERT_FALSE(result.hung);
    EXPECT_EQ(result.status, row.status);
    if (row.out) {
      // Long texts are compared by size first, so a mismatch does not flood the log.
      if (result.out.size() < 1000 && row.out->size() < 1000) {
        EXPECT_EQ(result.out, *row.out);
      } else {
        EXPECT_EQ(result.out.size(), row.out->size());
        EXPECT_TRUE(result.out == *row.out);
      }
    }
    EXPECT_EQ(result.err, row.err);
  }
}

}  // namespace
}  // namespace ovra
