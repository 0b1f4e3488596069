// Runs the ovra program as users do, in a folder of its own, and collects what it did:
// exit status, standard output, standard error. For tests of the command line, its
// messages and what it leaves in the file system.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ovra {

struct ProgramRun {
  int status = -1;  // the exit status, or 128 + the signal that ended the process
  std::string out;
  std::string err;
  bool hung = false;  // killed after the time limit
};

// How to start the program: its working folder, the words after the program name,
// what it reads on standard input, and optionally a file its standard output goes to
// instead of being collected (/dev/full, to see a failed write).
struct ProgramStart {
  std::filesystem::path dir;
  std::vector<std::string> arguments;
  std::string input;
  std::string outputTo;
};

// A started program; the collected streams live in files beside dir, never in it.
class RunningProgram {
 public:
  // unprivileged: when the tests run as root, the program runs as the user nobody, for
  // whom permissions hold.
  explicit RunningProgram(const ProgramStart& start, bool unprivileged = false);
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ~RunningProgram();

  pid_t pid() const { return pid_; }
  // Waits for the end, killing the program after limit.
  ProgramRun wait(std::chrono::seconds limit = std::chrono::seconds(120));

 private:
  pid_t pid_ = -1;
  std::filesystem::path streams_;  // the folder of the stream files
  bool collectOutput_ = true;
};

// Starts the program and waits for its end.
ProgramRun runProgram(const ProgramStart& start, bool unprivileged = false);

// The bytes of a file; empty when it cannot be read.
std::string contentOf(const std::filesystem::path& path);

}  // namespace ovra
