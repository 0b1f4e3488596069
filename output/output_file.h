// Result files that appear whole or not at all: the result is written to a temporary
// file beside the target and renamed over it only when the run succeeded, so a failed
// or interrupted run leaves an existing file as it was, and the output may be one of
// the inputs.
#pragma once

#include "base/string.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace ovra {

// The start of the message for a result file that cannot be made (its name follows).
inline constexpr char kCannotCreateOutput[] = "Could not create output file, ";

class OutputFile {
 public:
  // Creates the temporary file in the target's folder (the folder of the file a
  // symbolic link points to); a target that exists and is no regular file (a device, a
  // pipe) is opened and written directly. Throws OutputException, with the system's
  // reason, when the target is a folder or the file cannot be made.
  explicit OutputFile(const char* target);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes the temporary file unless commit() succeeded.
  ~OutputFile();

  // Where the result is written until commit.
  std::FILE* stream() const { return stream_; }
  const String& target() const { return target_; }

  // Flushes the result to the disk and renames it over the target. Throws
  // OutputException with the system's reason when any of that fails, or when
  // writeError (an errno the writer saw earlier, 0 for none) is set; the temporary file
  // is then removed and the target left as it was.
  void commit(int writeError);
  // The first half of commit: the result flushed to the disk and the file closed, so that
  // a run writing many files holds none open while it waits to rename them. Throws as
  // commit does; commit() then only renames. A file closed already stays closed.
  void close(int writeError);
  // Closes and removes the temporary file; the target stays as it was.
  void discard();
  // Whether commit renames a file over the target (false: it is written in place, or
  // committed or discarded already).
  bool replaces() const { return temporary_ != nullptr; }
  // The file the rename replaces.
  const String& destination() const { return destination_; }

 private:
  String target_;       // as the user named it, for messages
  String destination_;  // the file the rename replaces
  // malloc'd; registered for removal on a signal. Null when the target is written in
  // place (a device or a pipe) or once committed.
  char* temporary_ = nullptr;
  std::FILE* stream_ = nullptr;
  static constexpr std::size_t kBufferSize = 65536;
  std::unique_ptr<char[]> buffer_;  // stream_'s, when it writes the temporary file
};

// The runs of a batch, numbered in the order of their documents, replace files in that
// order whatever order they finish in: when two write the same file, the later
// document's stands, as it would had they run one after the other.
class ReplacementOrder {
 public:
  ReplacementOrder();

  // Commits file for run number `run`; when a later run has replaced the same target
  // already, discards it instead. Throws as OutputFile::commit.
  void commit(OutputFile& file, std::size_t run, int writeError);

 private:
  std::string folder_;  // the current directory, which relative targets are in
  std::mutex mutex_;
  std::unordered_map<std::string, std::size_t> latest_;  // by absolute path of the target
};

// Flushes stream; throws OutputException, naming the stream by name, when that or an
// earlier write failed (writeError: an errno the writer saw earlier, 0 for none).
void checkWritten(std::FILE* stream, const char* name, int writeError);

}  // namespace ovra
