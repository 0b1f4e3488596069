// The few things the operating system supplies: a millisecond clock and full paths.
#pragma once

#include "base/string.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

namespace ovra {

inline constexpr std::size_t kLargeStackBytes = std::size_t(1) << 30;

// Milliseconds from a monotonic clock; only differences mean anything.
std::uint32_t tickCount();

// The absolute, normalised path of a file name (which need not exist).
String fullPathName(const ConstString& fileName);

// The directory part of a full path, with its final separator ("/a/b/c.xml" -> "/a/b/").
String directoryOf(const ConstString& fullPath);

// Whether path lies below folder, both compared where they lead (the symbolic links of
// the parts that exist resolved), so that a link inside the folder cannot lead out of it.
// Neither needs to exist; the folder itself is not below itself.
bool isInsideFolder(std::string_view path, std::string_view folder);

// Runs work to its end on a thread with a stack of stackBytes, so that recursion whose
// depth follows the input (templates calling themselves, deeply nested expressions) has
// room; an exception thrown by work is rethrown here.
void runOnLargeStack(const std::function<void()>& work, std::size_t stackBytes = kLargeStackBytes);

// Runs work on `threads` threads at once, each with a stack of stackBytes, and returns
// when all have ended; the first exception thrown by any is rethrown here. When the
// system refuses threads fewer run, and when it refuses all, work runs once on the
// calling thread: work should take its tasks from a shared queue, not count on `threads`.
void runOnLargeStacks(std::size_t threads, const std::function<void()>& work,
                      std::size_t stackBytes = kLargeStackBytes);

// As runOnLargeStacks, with the calling thread running work too, beside `others` more
// threads: for a caller that has a large stack already, one thread fewer to start, and
// one whose memory is warm.
void runHereAndOnLargeStacks(std::size_t others, const std::function<void()>& work,
                             std::size_t stackBytes = kLargeStackBytes);

// The lowest address of the stack the calling thread runs on, and in `usable` the bytes
// of it recursion may take (under AddressSanitizer at most 48 MiB); 0 when unknown.
// Recursion whose depth follows the input compares stackPosition() with a mark above it
// and stops with an error instead of overflowing, whatever the build's frame sizes.
std::uintptr_t findStackBottom(std::size_t& usable);

// The current frame's address: the real stack even where a sanitizer moves locals elsewhere.
inline std::uintptr_t stackPosition() {
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
}

// The number of processors this process may run on (at least 1).
std::size_t processorCount();

// A file opened for reading, closed with its owner.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~FileDescriptor();

  // Opens path for reading; false, with errno set, when it cannot be opened.
  bool openForReading(const char* path);
  bool isOpen() const { return fd_ >= 0; }
  // Reads until size bytes or the end of the file and answers how many were read; -1,
  // with errno set, when reading fails (a folder fails here, not when opened).
  std::ptrdiff_t readFully(char* data, std::size_t size);

 private:
  int fd_ = -1;
};

}  // namespace ovra
