// The files a run writes besides its main result (exsl:document). Each is written whole
// to a temporary file beside its target while the run goes on; commit() renames them all
// over their targets once the run has succeeded. Until then none of them replaces
// anything, so a failed run leaves every existing file as it was.
#pragma once

#include "output/output_file.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

// What a run may write besides its main result; by default anything.
struct WriteLimits {
  bool noFiles = false;    // no file at all
  bool noFolders = false;  // no folder made for one
  // When not empty, an absolute, normalised folder: files and folders only inside it.
  std::string subtree;

  // The limits asked for by name (--nowrite, --nomkdir, --writesubtree, or the C
  // interface's flags); folder, empty for anywhere, is made absolute.
  static WriteLimits of(bool noFiles, bool noFolders, std::string_view folder);
};

class ResultDocuments {
 public:
  // mainOutput names the file the main result goes to (read when first needed): relative hrefs
  // resolve against it, and no document may replace it. Empty when the main result goes to standard
  // output; relative hrefs then resolve against the current directory.
  explicit ResultDocuments(std::string_view mainOutput = {});
  ResultDocuments(const ResultDocuments&) = delete;
  ResultDocuments& operator=(const ResultDocuments&) = delete;
  // Discards what was not committed, and the folders made for it that stayed empty.
  ~ResultDocuments();

  // The file: URI of the main result (of a file in the current directory for standard
  // output): what the hrefs of outermost documents resolve against.
  const std::string& baseURI();
  // The local path that href names relative to baseURI (a file: URI); empty when href
  // resolves to something other than a local file.
  static std::string resolve(std::string_view baseURI, std::string_view href);

  // From now on, what begin() may write and make.
  void limit(const WriteLimits& limits) { limits_ = limits; }

  // Starts the file at path (absolute), making the folders missing on the way. A file
  // written earlier in the run to the same path is dropped: the last one wins. Throws
  // OutputException with the system's reason, or naming the conflict when path is the
  // main result or a file still being written, or the limit that refuses it.
  std::FILE* begin(const std::string& path);
  // The file begun last at path is complete; it is flushed to the disk and closed.
  // writeError: an errno its writer saw, 0 for none. Throws OutputException.
  void end(const std::string& path, int writeError);

  // Renames every complete file over its target, in the order of a batch when one is
  // given (as its run number `run`). Throws OutputException at the first failure, and
  // discards the rest.
  void commit(ReplacementOrder* order = nullptr, std::size_t run = 0);
  // Removes every temporary file; nothing is renamed.
  void discard();
  // How many files wait to be committed.
  std::size_t size() const { return files_.size(); }

 private:
  struct Pending {
    std::string path;
    std::unique_ptr<OutputFile> file;
    bool complete = false;
  };
  // Makes the folders above path that do not exist, outermost first.
  void makeFolders(const std::string& path);

  // Throws when the limits forbid a file (or folder) at path.
  void checkAllowed(const std::string& path, bool folder) const;

  WriteLimits limits_;
  std::string mainPath_;  // absolute; empty for standard output
  std::string baseURI_;   // empty until asked for
  std::vector<Pending> files_;
  std::vector<std::string> madeFolders_;  // in the order they were made
};

}  // namespace ovra
