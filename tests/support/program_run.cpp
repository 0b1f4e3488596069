#include "tests/support/program_run.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ovra {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

RunningProgram::RunningProgram(const ProgramStart& start, bool unprivileged) {
  static std::atomic<int> counter{0};
  streams_ = fs::temp_directory_path() /
             ("ovra-streams-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::create_directories(streams_);
  const fs::path inPath = streams_ / "stdin";
  const fs::path outPath = start.outputTo.empty() ? streams_ / "stdout" : fs::path(start.outputTo);
  const fs::path errPath = streams_ / "stderr";
  collectOutput_ = start.outputTo.empty();
  std::ofstream(inPath, std::ios::binary) << start.input;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(OVRA_BINARY));
  for (const std::string& argument : start.arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    // Whatever the test runner ignores, the program starts as a shell would start it.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    int in = ::open(inPath.c_str(), O_RDONLY);
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(start.dir.c_str()) != 0 || ::dup2(in, 0) < 0 ||
        ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
      ::_exit(126);
    constexpr uid_t kNobody = 65534;
    if (unprivileged && ::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(126);
    ::execv(OVRA_BINARY, argv.data());
    ::_exit(127);
  }
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  fs::remove_all(streams_, ignored);
}

ProgramRun RunningProgram::wait(std::chrono::seconds limit) {
  ProgramRun result;
  if (pid_ < 0)
    return result;
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      result.hung = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (collectOutput_)
    result.out = contentOf(streams_ / "stdout");
  result.err = contentOf(streams_ / "stderr");
  return result;
}

ProgramRun runProgram(const ProgramStart& start, bool unprivileged) {
  return RunningProgram(start, unprivileged).wait();
}

}  // namespace ovra
