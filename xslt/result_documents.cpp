#include "xslt/result_documents.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "tree/uri.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace ovra {

static constexpr char kOverMainResult[] = "A document can not replace the main result, ";
static constexpr char kStillWriting[] = "A document can not replace one it is inside of, ";
static constexpr char kCannotMakeFolder[] = "Could not create the folder ";
static constexpr char kWritingTurnedOff[] = ": writing files is turned off";
static constexpr char kFoldersTurnedOff[] = ": making folders is turned off";
static constexpr char kOutsideSubtree[] = ": outside the folder files may be written in, ";

ResultDocuments::ResultDocuments(std::string_view mainOutput) : mainPath_(mainOutput) {}

const std::string& ResultDocuments::baseURI() {
  // Found when first needed: most runs write no documents, and finding the current
  // directory is a system call.
  if (baseURI_.empty()) {
    if (!mainPath_.empty())
      mainPath_ = fullPathName(String(mainPath_)).view();
    // For standard output, a name in the current directory: relative hrefs keep their
    // folders below it.
    baseURI_ = fileURI(fullPathName(String(mainPath_.empty() ? "result" : mainPath_)).view());
  }
  return baseURI_;
}

ResultDocuments::~ResultDocuments() {
  discard();
}

std::string ResultDocuments::resolve(std::string_view baseURI, std::string_view href) {
  std::optional<std::string> path = localPath(resolveURI(baseURI, href));
  return path ? std::move(*path) : std::string();
}

WriteLimits WriteLimits::of(bool noFiles, bool noFolders, std::string_view folder) {
  WriteLimits limits;
  limits.noFiles = noFiles;
  limits.noFolders = noFolders;
  if (!folder.empty())
    limits.subtree = fullPathName(String(folder)).c_str();
  return limits;
}

void ResultDocuments::checkAllowed(const std::string& path, bool folder) const {
  const char* prefix = folder ? kCannotMakeFolder : kCannotCreateOutput;
  if (limits_.noFiles)
    throw OutputException(String(prefix).append(path).append(kWritingTurnedOff));
  if (folder && limits_.noFolders)
    throw OutputException(String(prefix).append(path).append(kFoldersTurnedOff));
  const std::string& subtree = limits_.subtree;
  if (!subtree.empty() && !isInsideFolder(path, subtree))
    throw OutputException(String(prefix).append(path).append(kOutsideSubtree).append(subtree));
}

void ResultDocuments::makeFolders(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0)
    return;
  std::string folder = path.substr(0, slash);
  struct stat status {};
  if (::stat(folder.c_str(), &status) == 0)
    return;
  makeFolders(folder);
  checkAllowed(folder, true);
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    int error = errno;
    throw OutputException(
        String(kCannotMakeFolder).append(folder).append(": ").append(std::strerror(error)));
  }
  madeFolders_.push_back(std::move(folder));
}

std::FILE* ResultDocuments::begin(const std::string& path) {
  baseURI();  // the main result's path, made absolute
  if (path == mainPath_)
    throw OutputException(String(kOverMainResult).append(path));
  for (auto it = files_.begin(); it != files_.end(); ++it) {
    if (it->path != path)
      continue;
    if (!it->complete)
      throw OutputException(String(kStillWriting).append(path));
    files_.erase(it);
    break;
  }
  checkAllowed(path, false);
  makeFolders(path);
  auto file = std::make_unique<OutputFile>(path.c_str());
  std::FILE* stream = file->stream();
  files_.push_back(Pending{path, std::move(file), false});
  return stream;
}

void ResultDocuments::end(const std::string& path, int writeError) {
  for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
    if (it->path != path || it->complete)
      continue;
    it->complete = true;
    it->file->close(writeError);
    return;
  }
}

void ResultDocuments::commit(ReplacementOrder* order, std::size_t run) {
  try {
    for (Pending& pending : files_) {
      if (!pending.complete)
        continue;
      if (order != nullptr)
        order->commit(*pending.file, run, 0);
      else
        pending.file->commit(0);
    }
  } catch (...) {
    discard();
    throw;
  }
  files_.clear();
  madeFolders_.clear();
}

void ResultDocuments::discard() {
  files_.clear();
  // Innermost first; a folder something else has filled meanwhile stays.
  for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it)
    ::rmdir(it->c_str());
  madeFolders_.clear();
}

}  // namespace ovra
