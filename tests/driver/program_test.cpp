// The ovra program end to end: every option, every class of exit status, and what each
// run leaves in its folder. A failed or interrupted run never changes an existing file.
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ovra {
namespace {

namespace fs = std::filesystem;

std::string stylesheet(const std::string& body) {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:output method='text'/>" +
         body + "</xsl:stylesheet>";
}

// The folder every row starts from.
const std::map<std::string, std::string>& startingFiles() {
  static const std::map<std::string, std::string> files = {
      {"s.xsl", stylesheet("<xsl:param name='p' select=\"'d'\"/><xsl:template match='/'>["
                           "<xsl:value-of select='name(*)'/>|<xsl:value-of select='$p'/>]"
                           "</xsl:template>")},
      {"broken.xsl", "<xsl:stylesheet"},
      {"invalid.xsl", stylesheet("<xsl:template match='/'><xsl:if/></xsl:template>")},
      {"runtime.xsl", stylesheet("<xsl:template match='/'>x<xsl:value-of select='count(1)'/>"
                                 "</xsl:template>")},
      {"stop.xsl", stylesheet("<xsl:template match='/'>x<xsl:message terminate='yes'>stop"
                              "</xsl:message></xsl:template>")},
      {"a.xml", "<a/>"},
      {"b.xml", "<b/>"},
      {"bad.xml", "<a><b></a>"},
      {"sub/a.xml", "<z/>"},
      {"pi.xml", "<?xml-stylesheet type='text/xsl' href='s.xsl'?><p/>"},
      {"keep.txt", "KEEP"},
      {"odd.xsl", stylesheet("<xsl:template match='/' odd='1'>o</xsl:template>")},
      {"deep.xsl",
       stylesheet("<xsl:template match='/'><xsl:call-template name='r'/></xsl:template>"
                  "<xsl:template name='r'><xsl:param name='n' select='1'/>"
                  "<xsl:if test='$n &lt; 20'><xsl:call-template name='r'>"
                  "<xsl:with-param name='n' select='$n + 1'/></xsl:call-template></xsl:if>"
                  "<xsl:value-of select='$n'/></xsl:template>")},
      {"text.xsl", stylesheet("<xsl:template match='/'><xsl:value-of select='*'/></xsl:template>")},
      {"latin.xml", "<?xml version='1.0'?><l>caf\xe9</l>"},
      {"entity.xml", "<!DOCTYPE e [<!ENTITY % x SYSTEM 'e.ent'> %x;]><e>&e;</e>"},
      {"sub/e.ent", "<!ENTITY e 'from sub'>"},
      {"out/.exists", ""},
      {"write.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
                    " xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
                    "<xsl:output method='text'/><xsl:template match='/'>r<exsl:document "
                    "href='made/w.txt' method='text'>w"
                    "</exsl:document></xsl:template></xsl:stylesheet>"},
      {"random.xsl",
       "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
       " xmlns:math='http://exslt.org/math'><xsl:output method='text'/>"
       "<xsl:template match='/'><xsl:value-of select='math:random()'/>,"
       "<xsl:value-of select='math:random()'/>;</xsl:template></xsl:stylesheet>"},
  };
  return files;
}

using Files = std::map<std::string, std::string>;

Files snapshot(const fs::path& dir) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), dir).string()] = contentOf(entry.path());
  }
  return files;
}

struct CliCase {
  const char* name;
  std::vector<std::string> arguments;
  int status;
  const char* out;  // the whole standard output; null: not checked
  const char* err;  // a part of standard error; "": standard error is empty
  Files changed;    // every file the run creates or changes, with its content
  std::string input = "";
  std::string outputTo = "";
};

const std::vector<CliCase>& cliCases() {
  static const std::vector<CliCase> cases = {
      // The design's forms.
      {"standard output", {"s.xsl", "a.xml"}, 0, "[a|d]", "", {}},
      {"third word is the output file",
       {"s.xsl", "a.xml", "keep.txt"},
       0,
       "",
       "",
       {{"keep.txt", "[a|d]"}}},
      {"output may be the input", {"s.xsl", "a.xml", "a.xml"}, 0, "", "", {{"a.xml", "[a|d]"}}},
      {"dash is standard output", {"s.xsl", "a.xml", "-"}, 0, "[a|d]", "", {}},
      {"xpath", {"-p", "count(//*)", "a.xml"}, 0, "1\n", "", {}},
      {"xpath to a file", {"-p", "name(/*)", "a.xml", "new.txt"}, 0, "", "", {{"new.txt", "a\n"}}},
      {"runs", {"-n", "2", "s.xsl", "a.xml"}, 0, "[a|d][a|d]", "OVRA: 2 runs", {}},
      {"no runs compile only and write nothing",
       {"-n", "0", "s.xsl", "a.xml", "keep.txt"},
       0,
       "",
       "",
       {}},
      // Every option.
      {"version", {"-V", "s.xsl", "a.xml"}, 0, nullptr, "", {}},
      {"help", {"--help"}, 0, nullptr, "", {}},
      {"output option", {"-o", "new.txt", "s.xsl", "a.xml"}, 0, "", "", {{"new.txt", "[a|d]"}}},
      {"output folder",
       {"--output", "out/", "s.xsl", "a.xml", "b.xml"},
       0,
       "",
       "",
       {{"out/a.xml", "[a|d]"}, {"out/b.xml", "[b|d]"}}},
      {"output folder without its slash",
       {"-o", "out", "s.xsl", "a.xml"},
       0,
       "",
       "",
       {{"out/a.xml", "[a|d]"}}},
      {"several documents to standard output",
       {"-o", "-", "s.xsl", "a.xml", "b.xml"},
       0,
       "[a|d][b|d]",
       "",
       {}},
      {"several documents, one malformed",
       {"-o", "out/", "s.xsl", "a.xml", "bad.xml", "b.xml"},
       6,
       "",
       "mismatched tag",
       {{"out/a.xml", "[a|d]"}, {"out/b.xml", "[b|d]"}}},
      {"stylesheet named by the document", {"pi.xml"}, 0, "[p|d]", "", {}},
      {"stylesheet named by the document by a URI no catalog maps",
       {"-"},
       4,
       "",
       "http://localhost/s.xsl: ovra reads no network resources",
       {},
       "<?xml-stylesheet type='text/xsl' href='http://localhost/s.xsl'?><i/>"},
      {"stylesheet from standard input",
       {"-", "a.xml"},
       0,
       "[a|d]",
       "",
       {},
       startingFiles().at("s.xsl")},
      {"document from standard input", {"s.xsl", "-"}, 0, "[i|d]", "", {}, "<i/>"},
      {"document from standard input naming its stylesheet",
       {"-"},
       0,
       "[i|d]",
       "",
       {},
       "<?xml-stylesheet type='text/xsl' href='s.xsl'?><i/>"},
      {"string parameter",
       {"--stringparam", "p", "x'\"y", "s.xsl", "a.xml"},
       0,
       "[a|x'\"y]",
       "",
       {}},
      {"expression parameter after the files",
       {"s.xsl", "a.xml", "--param", "p", "1+1"},
       0,
       "[a|2]",
       "",
       {}},
      {"repeat", {"--repeat", "s.xsl", "a.xml"}, 0, nullptr, "OVRA: 20 runs", {}},
      {"timing", {"--timing", "s.xsl", "a.xml"}, 0, "[a|d]", "Applying stylesheet took", {}},
      {"verbose", {"-v", "s.xsl", "a.xml"}, 0, "[a|d]", "ovra: loading document a.xml from /", {}},
      {"no output", {"--noout", "s.xsl", "a.xml", "b.xml"}, 0, "", "", {}},
      {"no output takes every word as a document",
       {"--noout", "s.xsl", "a.xml", "keep.txt"},
       6,
       "",
       "keep.txt:1:1: error:",
       {}},
      {"strict", {"--strict", "odd.xsl", "a.xml"}, 5, "", "odd.xsl:1: error: Unrecognized", {}},
      {"not strict", {"odd.xsl", "a.xml"}, 0, "o", "odd.xsl:1: warning: Unrecognized", {}},
      {"maxdepth", {"--maxdepth", "10", "deep.xsl", "a.xml"}, 9, "", "recursion too deep", {}},
      {"maxdepth deep enough", {"--maxdepth", "30", "deep.xsl", "a.xml"}, 0, nullptr, "", {}},
      {"encoding", {"--encoding", "ISO-8859-1", "text.xsl", "latin.xml"}, 0, "caf\u00e9", "", {}},
      {"path", {"--path", "sub", "text.xsl", "entity.xml"}, 0, "from sub", "", {}},
      {"verbose names the entities",
       {"-v", "--path", "sub", "text.xsl", "entity.xml"},
       0,
       "from sub",
       "ovra: loading external parameter entity e.ent from /",
       {}},
      {"without path", {"text.xsl", "entity.xml"}, 0, "", "e.ent: No such file", {}},
      {"options accepted as xsltproc's",
       {"--nonet",
        "--novalid",
        "--nodtdattr",
        "--catalogs",
        "--strict",
        "--maxdepth",
        "100",
        "--encoding",
        "utf-8",
        "--path",
        ". sub",
        "--huge",
        "--maxvars",
        "5",
        "--nowrite",
        "--nomkdir",
        "--writesubtree",
        ".",
        "--seed-rand",
        "3",
        "--maxparserdepth",
        "9",
        "--load-trace",
        "s.xsl",
        "a.xml"},
       0,
       "[a|d]",
       "ovra: loading stylesheet s.xsl",
       {}},
      // What a stylesheet may write besides its result.
      {"files besides the result",
       {"write.xsl", "a.xml", "keep.txt"},
       0,
       "",
       "",
       {{"keep.txt", "r"}, {"made/w.txt", "w"}}},
      {"no writing",
       {"--nowrite", "write.xsl", "a.xml", "keep.txt"},
       9,
       "",
       "writing files is turned off",
       {}},
      {"no folders",
       {"--nomkdir", "write.xsl", "a.xml", "keep.txt"},
       9,
       "",
       "making folders is turned off",
       {}},
      {"writing outside the subtree",
       {"--writesubtree", "sub", "write.xsl", "a.xml", "keep.txt"},
       9,
       "",
       "outside the folder files may be written in",
       {}},
      {"writing inside the subtree",
       {"--writesubtree", ".", "write.xsl", "a.xml", "keep.txt"},
       0,
       "",
       "",
       {{"keep.txt", "r"}, {"made/w.txt", "w"}}},
      // Usage errors: nothing runs, nothing is written.
      {"no arguments", {}, 1, "", "Usage: ovra", {}},
      {"word after the output file",
       {"s.xsl", "a.xml", "keep.txt", "extra"},
       2,
       "",
       "ovra: error: one word too many: 'extra'",
       {}},
      {"parameter as output file",
       {"s.xsl", "a.xml", "title=Foo"},
       2,
       "",
       "looks like a parameter",
       {}},
      {"bad run count", {"-n", "abc", "s.xsl", "a.xml"}, 2, "", "not 'abc'", {}},
      {"several documents without a folder",
       {"-o", "keep.txt", "s.xsl", "a.xml", "b.xml"},
       2,
       "",
       "names a folder",
       {}},
      {"two documents of one name",
       {"-o", "out/", "s.xsl", "a.xml", "sub/a.xml"},
       2,
       "",
       "two documents would write the same file out/a.xml",
       {}},
      {"document naming no stylesheet", {"a.xml"}, 2, "", "no stylesheet named", {}},
      {"bad parameter",
       {"--param", "p", "1 +", "s.xsl", "a.xml", "keep.txt"},
       2,
       "",
       "Parameter p",
       {}},
      {"unknown option", {"-x", "s.xsl", "a.xml", "keep.txt"}, 3, "", "unknown option '-x'", {}},
      {"unknown option last", {"s.xsl", "a.xml", "-x"}, 3, "", "unknown option '-x'", {}},
      {"unsupported option", {"--html", "s.xsl", "a.xml"}, 3, "", "does not support --html", {}},
      // Failures of each kind leave the output file as it was.
      {"stylesheet not well-formed", {"broken.xsl", "a.xml", "keep.txt"}, 4, "", "broken.xsl", {}},
      {"stylesheet missing", {"missing.xsl", "a.xml", "keep.txt"}, 4, "", "missing.xsl", {}},
      {"stylesheet error", {"invalid.xsl", "a.xml", "keep.txt"}, 5, "", "invalid.xsl", {}},
      {"expression error", {"-p", "1 +", "a.xml", "keep.txt"}, 5, "", "Missing path", {}},
      {"swapped files", {"a.xml", "s.xsl", "keep.txt"}, 5, "", "a.xml", {}},
      {"document not well-formed", {"s.xsl", "bad.xml", "keep.txt"}, 6, "", "bad.xml", {}},
      {"document missing", {"s.xsl", "missing.xml", "keep.txt"}, 6, "", "missing.xml", {}},
      {"run-time error", {"runtime.xsl", "a.xml", "keep.txt"}, 9, "", "count", {}},
      {"terminated", {"stop.xsl", "a.xml", "keep.txt"}, 10, "", "stop", {}},
      {"output is a folder", {"s.xsl", "a.xml", "out"}, 11, "", "Is a directory", {}},
      {"output in a missing folder",
       {"s.xsl", "a.xml", "nowhere/x.txt"},
       11,
       "",
       "nowhere/x.txt: No such file or directory",
       {}},
      {"device full",
       {"-o", "/dev/full", "s.xsl", "a.xml"},
       11,
       "",
       "/dev/full: No space left on device",
       {}},
      {"standard output full",
       {"s.xsl", "a.xml"},
       11,
       nullptr,
       "standard output: No space left on device",
       {},
       "",
       "/dev/full"},
  };
  return cases;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("ovra-program-" + std::to_string(::getpid()) + "-" + info->name());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void makeFolder() {
    fs::remove_all(dir_);
    for (const auto& [name, content] : startingFiles()) {
      fs::create_directories((dir_ / name).parent_path());
      std::ofstream(dir_ / name, std::ios::binary) << content;
    }
  }

  fs::path dir_;
};

TEST_F(ProgramTest, EachCaseEndsWithItsStatusAndChangesOnlyItsOutputs) {
  for (const CliCase& c : cliCases()) {
    SCOPED_TRACE(c.name);
    makeFolder();
    Files before = snapshot(dir_);
    ProgramRun run = runProgram({dir_, c.arguments, c.input, c.outputTo});
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(run.status, c.status);
    if (c.out != nullptr) {
      EXPECT_EQ(run.out, c.out);
    }
    if (*c.err == '\0') {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    Files expected = before;
    for (const auto& [name, content] : c.changed)
      expected[name] = content;
    EXPECT_EQ(snapshot(dir_), expected);
  }
}

// A run stopped by a signal removes its temporary file and leaves the target as it was,
// and still dies of the signal.
TEST_F(ProgramTest, InterruptedRunLeavesNoTraceAndTheTargetIntact) {
  std::string many;
  for (int i = 0; i < 20000; ++i)
    many += "<e/>";
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    makeFolder();
    std::ofstream(dir_ / "big.xml") << "<r>" << many << "</r>";
    std::ofstream(dir_ / "slow.xsl")
        << stylesheet("<xsl:template match='/'><xsl:for-each select='//e'><xsl:for-each "
                      "select='//e'><xsl:value-of select='@x'/></xsl:for-each></xsl:for-each>"
                      "</xsl:template>");
    Files before = snapshot(dir_);
    RunningProgram program({dir_, {"slow.xsl", "big.xml", "keep.txt"}, "", ""});
    // The temporary file appears before the work starts.
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i) {
      for (const auto& entry : fs::directory_iterator(dir_))
        started = started || entry.path().filename().string().rfind(".keep.txt.ovra-", 0) == 0;
      if (!started)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(started);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(program.pid(), signal);
    ProgramRun run = program.wait();
    EXPECT_EQ(run.status, 128 + signal);
    EXPECT_EQ(snapshot(dir_), before);
  }
}

// A result written through a link replaces the file the link names and leaves the link;
// an existing file keeps its permissions, a new one gets the umask's.
TEST_F(ProgramTest, ResultReplacesTheLinkedFileAndKeepsItsPermissions) {
  makeFolder();
  fs::create_symlink("keep.txt", dir_ / "link.txt");
  fs::permissions(dir_ / "keep.txt",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  for (const char* target : {"link.txt", "keep.txt", "new.txt"}) {
    SCOPED_TRACE(target);
    ProgramRun run = runProgram({dir_, {"s.xsl", "a.xml", target}, "", ""});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(contentOf(dir_ / target), "[a|d]");
  }
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
  EXPECT_EQ(fs::status(dir_ / "keep.txt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(unsigned(fs::status(dir_ / "new.txt").permissions()), 0666u & ~unsigned(mask));
}

// With a seed math:random draws the same numbers in every run, one at a time or in a
// batch; without one, different ones.
TEST_F(ProgramTest, SeededRandomNumbersRepeatInEveryRun) {
  makeFolder();
  auto numbers = [&](std::vector<std::string> arguments) {
    ProgramRun run = runProgram({dir_, arguments, "", ""});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  };
  std::string seeded = numbers({"--seed-rand", "7", "random.xsl", "a.xml"});
  EXPECT_EQ(numbers({"--seed-rand", "7", "random.xsl", "b.xml"}), seeded);
  EXPECT_EQ(numbers({"--seed-rand", "7", "-n", "2", "random.xsl", "a.xml"}), seeded + seeded);
  EXPECT_EQ(numbers({"--seed-rand", "7", "-j2", "-o", "-", "random.xsl", "a.xml", "b.xml"}),
            seeded + seeded);
  EXPECT_NE(numbers({"--seed-rand", "8", "random.xsl", "a.xml"}), seeded);
  EXPECT_NE(numbers({"random.xsl", "a.xml"}), numbers({"random.xsl", "a.xml"}));
}

// --writesubtree holds where the writes land: a link inside the folder leads nowhere else.
TEST_F(ProgramTest, LinksDoNotLeadWritesOutOfTheirFolder) {
  makeFolder();
  fs::create_directory(dir_ / "box");
  fs::create_directory_symlink(dir_ / "sub", dir_ / "box" / "escape");
  std::ofstream(dir_ / "escape.xsl")
      << "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
         " xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
         "<xsl:template match='/'><exsl:document href='box/escape/x.txt' method='text'>x"
         "</exsl:document></xsl:template></xsl:stylesheet>";
  ProgramRun run =
      runProgram({dir_, {"--writesubtree", "box", "escape.xsl", "a.xml", "keep.txt"}, "", ""});
  EXPECT_EQ(run.status, 9) << run.err;
  EXPECT_NE(run.err.find("outside the folder files may be written in"), std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "sub" / "x.txt"));
}

// A file that may be written in a folder that may not: the message says why the folder
// matters, and the file stays as it was.
TEST_F(ProgramTest, AFolderThatCannotTakeTheNewFileIsNamed) {
  makeFolder();
  fs::permissions(dir_ / "keep.txt", fs::perms::all & ~fs::perms::others_exec);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  ProgramRun run = runProgram({dir_, {"s.xsl", "a.xml", "keep.txt"}, "", ""}, true);
  fs::permissions(dir_, fs::perms::owner_all);
  EXPECT_EQ(run.status, 11) << run.err;
  EXPECT_NE(run.err.find("keep.txt: Permission denied (the result is written to a new file in "
                         "./ and renamed over it, so that folder must be writable)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(contentOf(dir_ / "keep.txt"), "KEEP");
}

static ino_t inodeOf(const fs::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Names of the caller's standard output are written in place: a rename would leave the
// caller's descriptor on the old file. Every other existing file is replaced whole, in
// whatever folder it is (/dev/shm is a file system like any other).
TEST_F(ProgramTest, OnlyFilesTheCallerHoldsOpenAreWrittenInPlace) {
  makeFolder();
  fs::create_symlink("/dev/stdout", dir_ / "to-stdout");
  const fs::path captured = dir_.string() + "-stdout.txt";
  for (const char* target : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "to-stdout"}) {
    SCOPED_TRACE(target);
    std::ofstream(captured) << "OLD";
    ino_t before = inodeOf(captured);
    ProgramRun run = runProgram({dir_, {"s.xsl", "a.xml", target}, "", captured.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(inodeOf(captured), before);
    EXPECT_EQ(contentOf(captured), "[a|d]");
  }
  fs::remove(captured);

  std::error_code error;
  const fs::path shared = fs::path("/dev/shm") / dir_.filename();
  if (!fs::create_directory(shared, error))
    return;  // no /dev/shm here
  std::ofstream(shared / "keep.txt") << "KEEP";
  ProgramRun failed =
      runProgram({dir_, {"runtime.xsl", "a.xml", (shared / "keep.txt").string()}, "", ""});
  EXPECT_EQ(failed.status, 9);
  EXPECT_EQ(contentOf(shared / "keep.txt"), "KEEP");
  ino_t before = inodeOf(shared / "keep.txt");
  ProgramRun run = runProgram({dir_, {"s.xsl", "a.xml", (shared / "keep.txt").string()}, "", ""});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(contentOf(shared / "keep.txt"), "[a|d]");
  EXPECT_NE(inodeOf(shared / "keep.txt"), before);
  fs::remove_all(shared);
}

}  // namespace
}  // namespace ovra
