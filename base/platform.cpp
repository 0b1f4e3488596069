#include "base/platform.h"

#include <pthread.h>

#include <chrono>
#include <exception>
#include <filesystem>

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
  StackWork job{&work, nullptr};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_t thread;
  bool started = pthread_attr_setstacksize(&attributes, stackBytes) == 0 &&
                 pthread_create(&thread, &attributes, runStackWork, &job) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) {
    // No thread to be had: run here, with the stack there is.
    work();
    return;
  }
  pthread_join(thread, nullptr);
  if (job.error)
    std::rethrow_exception(job.error);
}

}  // namespace ovra
