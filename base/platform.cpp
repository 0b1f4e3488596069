#include "base/platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace ovra {

std::uint32_t tickCount() {
  using namespace std::chrono;
  return std::uint32_t(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

String fullPathName(const ConstString& fileName) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(fileName.c_str(), error);
  if (error)
    return String(fileName);
  return String(path.lexically_normal().string());
}

bool isInsideFolder(std::string_view path, std::string_view folder) {
  if (folder.empty())
    return false;
  std::error_code error;
  std::string realFolder = std::filesystem::weakly_canonical(folder, error).string();
  if (error || realFolder.empty())
    return false;
  std::string realPath = std::filesystem::weakly_canonical(path, error).string();
  if (error)
    return false;
  if (realFolder.back() != '/')
    realFolder += '/';
  return realPath.size() > realFolder.size() && realPath.starts_with(realFolder);
}

String directoryOf(const ConstString& fullPath) {
  std::string_view path = fullPath.view();
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos)
    return String();
  return String(path.substr(0, slash + 1));
}

namespace {

struct StackWork {
  const std::function<void()>* work;
  std::exception_ptr error;
};

void* runStackWork(void* argument) {
  auto* job = static_cast<StackWork*>(argument);
  try {
    (*job->work)();
  } catch (...) {
    job->error = std::current_exception();
  }
  return nullptr;
}

}  // namespace

void runOnLargeStack(const std::function<void()>& work, std::size_t stackBytes) {
  runOnLargeStacks(1, work, stackBytes);
}

namespace {

// Starts `threads` threads running work; with callerToo the calling thread runs it as
// well. Returns when all have ended, rethrowing the first exception.
void runThreads(std::size_t threads, bool callerToo, const std::function<void()>& work,
                std::size_t stackBytes) {
  std::vector<StackWork> jobs(threads, StackWork{&work, nullptr});
  std::vector<pthread_t> started;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  bool sized = pthread_attr_setstacksize(&attributes, stackBytes) == 0;
  for (StackWork& job : jobs) {
    pthread_t thread;
    if (!sized || pthread_create(&thread, &attributes, runStackWork, &job) != 0)
      break;
    started.push_back(thread);
  }
  pthread_attr_destroy(&attributes);
  StackWork own{&work, nullptr};
  if (callerToo)
    runStackWork(&own);
  else if (started.empty())
    work();  // no thread to be had: run here, with the stack there is
  for (pthread_t thread : started)
    pthread_join(thread, nullptr);
  if (own.error)
    std::rethrow_exception(own.error);
  for (const StackWork& job : jobs) {
    if (job.error)
      std::rethrow_exception(job.error);
  }
}

}  // namespace

void runOnLargeStacks(std::size_t threads, const std::function<void()>& work,
                      std::size_t stackBytes) {
  runThreads(threads, false, work, stackBytes);
}

void runHereAndOnLargeStacks(std::size_t others, const std::function<void()>& work,
                             std::size_t stackBytes) {
  runThreads(others, true, work, stackBytes);
}

namespace {

struct StackExtent {
  std::uintptr_t bottom = 0;
  std::size_t usable = 0;
};

StackExtent askStackExtent() {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0)
    return {};
  void* lowest = nullptr;
  std::size_t size = 0;
  int status = pthread_attr_getstack(&attributes, &lowest, &size);
  pthread_attr_destroy(&attributes);
  if (status != 0 || lowest == nullptr)
    return {};
  auto bottom = reinterpret_cast<std::uintptr_t>(lowest);
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer cannot clean up after an exception thrown with more than 64 MiB of
  // stack in use (it reports false errors and stops), so runs under it stay below that.
  constexpr std::size_t kSanitizerStack = std::size_t(48) << 20;
  if (size > kSanitizerStack) {
    bottom += size - kSanitizerStack;
    size = kSanitizerStack;
  }
#endif
  return {bottom, size};
}

}  // namespace

std::uintptr_t findStackBottom(std::size_t& usable) {
  // Asked once per thread: a thread's stack never moves, and on the main thread the
  // answer costs a read of the process's memory map.
  thread_local const StackExtent extent = askStackExtent();
  usable = extent.usable;
  return extent.bottom;
}

std::size_t processorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return std::size_t(CPU_COUNT(&set));
  long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? std::size_t(online) : 1;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0)
    ::close(fd_);
}

bool FileDescriptor::openForReading(const char* path) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = fd;
  return true;
}

std::ptrdiff_t FileDescriptor::readFully(char* data, std::size_t size) {
  std::size_t count = 0;
  while (count < size) {
    ssize_t got = ::read(fd_, data + count, size - count);
    if (got > 0)
      count += std::size_t(got);
    else if (got == 0)
      break;
    else if (errno != EINTR)
      return -1;
  }
  return std::ptrdiff_t(count);
}

}  // namespace ovra
