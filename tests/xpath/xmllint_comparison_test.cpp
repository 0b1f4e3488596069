// Runs node-selecting expressions through the ovra program and through xmllint (libxml2)
// over a few realistic documents and compares the node sequences the two print.
#include <gtest/gtest.h>

#include <cerrno>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ovra {
namespace {

constexpr const char* kXmllint = "/usr/bin/xmllint";
constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs a program with these arguments (no shell) and collects both output streams.
Outcome run(const std::vector<std::string>& words) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0)
    return {};
  pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(err[0]);
    std::vector<char*> argv;
    for (const std::string& word : words)
      argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  Outcome outcome;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&outcome.out, &outcome.err};
  for (int open = 2; open > 0;) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR)
      break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      char buffer[4096];
      ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, std::size_t(count));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

// Takes away what the two programs are allowed to print differently: ovra's XML
// declaration before its first element, the namespace declarations (ovra writes those
// in scope on every element result, xmllint only an element's own), and the choice of
// escaping > in text and " in text and attributes.
std::string normalise(std::string text, bool fromOvra) {
  if (fromOvra) {
    std::size_t declaration = text.find(kDeclaration);
    if (declaration != std::string::npos)
      text.erase(declaration, std::string(kDeclaration).size());
  }
  static const std::regex namespaceDeclaration(" xmlns(:[A-Za-z_][-.\\w]*)?=\"[^\"]*\"");
  text = std::regex_replace(text, namespaceDeclaration, "");
  static const std::regex greater("&gt;"), quote("&quot;");
  return std::regex_replace(std::regex_replace(text, greater, ">"), quote, "\"");
}

struct DocumentCases {
  const char* file;  // under tests/xpath/data
  std::vector<const char*> expressions;
};

// Left out on purpose: results holding the root node (xmllint prints a whole document
// with its prolog), the namespace axis (xmllint lists in-scope namespaces per element),
// prefixed names (xmllint binds no prefixes), the following axis from an attribute
// (xmllint leaves out the attribute's element's content).
const DocumentCases kCases[] = {
    {"catalog.xml",
     {"/catalog/book",
      "//book[price > 30]",
      "//book[1]",
      "(//author)[2]",
      "//book[author='Ralls, Kim']/title",
      "//book/@id",
      "//@*",
      "//title/text()",
      "//book[2]/following-sibling::book",
      "//book[3]/preceding-sibling::*[1]",
      "//price/..",
      "//author/ancestor::*",
      "//em/ancestor-or-self::*",
      "//book[count(author) > 1]",
      "//comment()",
      "//processing-instruction()",
      "//text()[normalize-space()]",
      "//book[@lang][2]",
      "//author | //title",
      "//book/*[1]",
      "//book[4]/following::*",
      "//book[3]/preceding::*",
      "//book[3]/preceding::*[2]",
      "//book[4]/preceding::title[1]",
      "//book[price = //book/price[. > 39]]/@id",
      "/descendant::*[7]",
      "//description/node()",
      "//em/preceding::em[1]",
      "//description[contains(., 'café')]",
      "(//book/title | //book/year)[position() > 8]",
      "//book[3]/author[2]/preceding-sibling::node()[1]",
      "//title/following::title[2]",
      "//book[last()]",
      "(//author)[last()]",
      "//book/author[last()]",
      "//book[position() = last() - 1]/title",
      "//book[4]/preceding::*[last()]",
      "//book[3]/preceding-sibling::*[last() - 1]",
      "(//book/title | //book/year)[last()]",
      "//book[price > 30][last()]",
      "//book[last()][1]/title"}},
    {"page.xml",
     {"//div[@class='section']/h2",
      "//div//p",
      "//div/p",
      "//p//b",
      "//div[.//b]/@id",
      "//ul/li[b][2]",
      "//b/ancestor::div[1]/@id",
      "//b/ancestor::div[2]/@id",
      "//p[b]/following-sibling::*[1]",
      "//h2/following::p[1]",
      "//h3/preceding::*[1]",
      "//td[@class='ok']/preceding-sibling::td",
      "//tr[position() > 1][2]/td",
      "//comment()/..",
      "//processing-instruction('php')",
      "//div/descendant-or-self::div/@id",
      "//div/ancestor-or-self::div/@id",
      "//body/node()[2]",
      "//h1 | //h2 | //h3",
      "//*[self::h1 or self::h3]",
      "//li/text()[1]",
      "//div[@id='s1']//*[2]",
      "//div[@id='s1']/descendant::*[2]",
      "(//div[@id='s1']//*)[2]",
      "//b/following::b[1]",
      "//*[count(ancestor::div) = 2]",
      "//meta/following-sibling::node()",
      "//p[@id='footer']/node()"}},
    {"tree.xml",
     {"//dir/file", "//dir[@name='src']//file/@name", "//file/ancestor::dir[2]/@name",
      "//file[@name='util.c']/ancestor::dir[@name='src'][2]/@name", "//dir[not(*)]/@name",
      "//dir/*[2]/@name", "//dir//dir//file/@name", "//dir/dir/dir/file/@name",
      "//file[@name='main.c']/preceding::file/@name",
      "//file[@name='main.c']/preceding::dir[1]/@name", "//dir[count(.//file) > 2]/@name",
      "/dir/dir[2]/dir[1]//file/@name", "//*[@name='src']/*[@name='src']/@name"}},
    {"feed.xml",
     {"//*[local-name()='entry']/*[local-name()='title']", "//*[local-name()='link']/@href",
      "//*[namespace-uri()='http://purl.org/dc/elements/1.1/']", "//*[namespace-uri()='urn:x']",
      "//*[local-name()='entry'][2]/*[5]", "//@xml:lang/..",
      "//*[local-name()='entry'][1]/following-sibling::*", "//*[local-name()='content']//text()",
      "//*[local-name()='em']/ancestor::*[2]", "/*/*[6]/*[1]"}},
};

TEST(XmllintComparisonTest, SelectsTheSameNodes) {
  if (access(kXmllint, X_OK) != 0)
    GTEST_SKIP() << kXmllint << " is not installed";
  for (const DocumentCases& document : kCases) {
    std::string path = std::string(OVRA_TEST_SOURCE_DIR) + "/xpath/data/" + document.file;
    for (const char* expression : document.expressions) {
      Outcome ovra = run({OVRA_BINARY, "-p", expression, path});
      Outcome xmllint = run({kXmllint, "--xpath", expression, path});
      EXPECT_EQ(ovra.status, 0) << document.file << ": " << expression << "\n" << ovra.err;
      EXPECT_EQ(ovra.err, "") << document.file << ": " << expression;
      // xmllint ends with status 10 when nothing is selected; such a case proves little.
      EXPECT_EQ(xmllint.status, 0) << document.file << ": " << expression << "\n" << xmllint.err;
      EXPECT_EQ(normalise(ovra.out, true), normalise(xmllint.out, false))
          << document.file << ": " << expression;
    }
  }
}

}  // namespace
}  // namespace ovra
