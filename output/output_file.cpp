#include "output/output_file.h"

#include "base/exceptions.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra {

static constexpr char kCannotWrite[] = "Could not write the result to ";

// ---- Removal on a signal ----

// The temporary files that exist right now. A signal handler may only call what is
// async-signal-safe, so the paths sit in fixed slots it can walk without locks; a file
// that finds no free slot is still removed on every other way out.
static constexpr int kSlots = 256;
static std::atomic<char*> pendingFiles[kSlots];

extern "C" void removePendingFilesAndDie(int signal) {
  for (std::atomic<char*>& slot : pendingFiles) {
    if (char* path = slot.load())
      ::unlink(path);
  }
  // Dies of the signal as it would have without the handler, so the parent sees why.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

static void installSignalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction previous {};
      sigaction(signal, nullptr, &previous);
      // A signal the caller chose to ignore (nohup, a background job) stays ignored.
      if (previous.sa_handler == SIG_IGN)
        continue;
      struct sigaction action {};
      action.sa_handler = removePendingFilesAndDie;
      sigemptyset(&action.sa_mask);
      sigaction(signal, &action, nullptr);
    }
  });
}

static void registerPending(char* path) {
  installSignalHandlers();
  for (std::atomic<char*>& slot : pendingFiles) {
    char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, path))
      return;
  }
}

static void unregisterPending(const char* path) {
  for (std::atomic<char*>& slot : pendingFiles) {
    char* expected = const_cast<char*>(path);
    if (slot.compare_exchange_strong(expected, nullptr))
      return;
  }
}

// ---- The file ----

static String withReason(const char* prefix, const ConstString& name, int error) {
  return String(prefix).append(name).append(": ").append(std::strerror(error));
}

static bool startsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Whether the link path leads, link by link, to an entry of /proc: /dev/stdout,
// /dev/fd/3, /proc/self/fd/1 and links to them name a file the caller holds open, which
// is written where it is (renaming over it would leave the caller's descriptor on the
// old file). Only these: a regular file in /dev/shm is a file like any other.
static bool namesAnOpenFile(const char* link) {
  std::string path = link;
  for (int hops = 0; hops < 40; ++hops) {
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (char* resolved = ::realpath(folder.c_str(), nullptr)) {
      bool open = startsWith(resolved, "/proc/");
      std::free(resolved);
      if (open)
        return true;
    }
    char text[4096];
    ssize_t length = ::readlink(path.c_str(), text, sizeof text - 1);
    if (length < 0)
      return false;  // no further link
    text[length] = '\0';
    path = text[0] == '/' || slash == std::string::npos ? std::string(text) : folder + text;
  }
  return false;
}

// The permissions a new file gets from open(..., 0666) under the process's umask,
// which can only be read by setting it; read once, before any thread could race.
static mode_t newFileMode() {
  static const mode_t mode = [] {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mode_t(0666 & ~mask);
  }();
  return mode;
}

// The process's effective user and group, asked once.
static uid_t effectiveUser() {
  static const uid_t user = ::geteuid();
  return user;
}
static gid_t effectiveGroup() {
  static const gid_t group = ::getegid();
  return group;
}

OutputFile::OutputFile(const char* target) : target_(target), destination_(target) {
  // Writing through a link replaces the file it points to, not the link.
  struct stat status {};
  bool exists = ::lstat(target, &status) == 0;
  bool link = exists && S_ISLNK(status.st_mode);
  if (link)
    exists = ::stat(target, &status) == 0;
  if (exists) {
    if (S_ISDIR(status.st_mode))
      throw OutputException(withReason(kCannotCreateOutput, target_, EISDIR));
    // A device or a pipe (/dev/null, a FIFO a reader waits on) is written as it is:
    // nothing could be renamed over it, and nothing of it is lost by a failed run. So is
    // whatever /dev/stdout and its kin stand for, which is an open file of the caller's.
    if (!S_ISREG(status.st_mode) || (link && namesAnOpenFile(target))) {
      stream_ = std::fopen(target, "wb");
      if (stream_ == nullptr)
        throw OutputException(withReason(kCannotCreateOutput, target_, errno));
      return;
    }
    if (link) {
      if (char* resolved = ::realpath(target, nullptr)) {
        destination_ = String(resolved);
        std::free(resolved);
      }
    }
  }
  const char* slash = std::strrchr(destination_.c_str(), '/');
  String folder;  // with its final slash; empty for the current directory
  if (slash != nullptr)
    folder = String(destination_.c_str(), int(slash - destination_.c_str()) + 1);
  String pattern = folder;
  pattern.append(".").append(slash != nullptr ? slash + 1 : destination_.c_str());
  pattern.append(".ovra-XXXXXX");
  temporary_ = ::strdup(pattern.c_str());
  if (temporary_ == nullptr)
    throw std::bad_alloc();
  registerPending(temporary_);
  int descriptor = ::mkstemp(temporary_);
  if (descriptor < 0) {
    int error = errno;
    unregisterPending(temporary_);
    std::free(temporary_);
    temporary_ = nullptr;
    String message = withReason(kCannotCreateOutput, target_, error);
    // The file itself may be writable where its folder is not, and then the reason
    // alone would puzzle.
    if (exists && error == EACCES) {
      message.append(" (the result is written to a new file in ")
          .append(folder.empty() ? String("./") : folder)
          .append(" and renamed over it, so that folder must be writable)");
    }
    throw OutputException(message);
  }
  // An existing file keeps its permissions; a new one gets what the umask allows.
  // Ownership can change only for the owner's own files, so its failure is no error.
  // (A batch writes a thousand files: each system call saved is felt.)
  if (exists) {
    ::fchmod(descriptor, status.st_mode & 07777);
    if (status.st_uid != effectiveUser() || status.st_gid != effectiveGroup()) {
      [[maybe_unused]] int ignored = ::fchown(descriptor, status.st_uid, status.st_gid);
    }
  } else {
    ::fchmod(descriptor, newFileMode());
  }
  stream_ = ::fdopen(descriptor, "wb");
  if (stream_ == nullptr) {
    int error = errno;
    ::close(descriptor);
    discard();
    throw OutputException(withReason(kCannotCreateOutput, target_, error));
  }
  // A buffer of ours: stdio would ask the file's block size for one of its own.
  buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
  std::setvbuf(stream_, buffer_.get(), _IOFBF, kBufferSize);
}

OutputFile::~OutputFile() {
  discard();
}

void OutputFile::discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (temporary_ != nullptr) {
    ::unlink(temporary_);
    unregisterPending(temporary_);
    std::free(temporary_);
    temporary_ = nullptr;
  }
}

void checkWritten(std::FILE* stream, const char* name, int writeError) {
  errno = 0;
  int error = writeError;
  if (std::fflush(stream) != 0 && error == 0)
    error = errno;
  if (error == 0 && std::ferror(stream))
    error = errno != 0 ? errno : EIO;
  if (error != 0)
    throw OutputException(withReason(kCannotWrite, name, error));
}

void OutputFile::close(int writeError) {
  if (stream_ == nullptr)
    return;
  if (temporary_ == nullptr) {
    // Written in place; only the writing itself can fail.
    std::FILE* stream = stream_;
    stream_ = nullptr;
    int closeError = 0;
    try {
      checkWritten(stream, target_.c_str(), writeError);
    } catch (...) {
      std::fclose(stream);
      throw;
    }
    if (std::fclose(stream) != 0)
      closeError = errno;
    if (closeError != 0)
      throw OutputException(withReason(kCannotWrite, target_, closeError));
    return;
  }
  try {
    checkWritten(stream_, target_.c_str(), writeError);
    if (::fsync(::fileno(stream_)) != 0)
      throw OutputException(withReason(kCannotWrite, target_, errno));
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0)
      throw OutputException(withReason(kCannotWrite, target_, errno));
  } catch (...) {
    discard();
    throw;
  }
}

void OutputFile::commit(int writeError) {
  close(writeError);
  if (temporary_ == nullptr)
    return;
  if (::rename(temporary_, destination_.c_str()) != 0) {
    int error = errno;
    discard();
    throw OutputException(withReason(kCannotWrite, target_, error));
  }
  unregisterPending(temporary_);
  std::free(temporary_);
  temporary_ = nullptr;
}

ReplacementOrder::ReplacementOrder() {
  std::error_code error;
  folder_ = std::filesystem::current_path(error).string();
}

void ReplacementOrder::commit(OutputFile& file, std::size_t run, int writeError) {
  file.close(writeError);  // the flush to the disk, outside the lock
  if (!file.replaces())
    return;  // written in place: closing was all
  std::filesystem::path target(file.destination().c_str());
  std::string key = (target.is_absolute() ? target : folder_ / target).lexically_normal();
  // The rename happens under the lock, so the order of the record is the order of the
  // renames.
  std::lock_guard lock(mutex_);
  auto [latest, first] = latest_.try_emplace(std::move(key), run);
  if (!first && latest->second > run) {
    file.discard();
    return;
  }
  file.commit(0);
  latest->second = run;
}

}  // namespace ovra
