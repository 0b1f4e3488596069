#include "base/platform.h"

#include <chrono>
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

}  // namespace ovra
