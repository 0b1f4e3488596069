// The few things the operating system supplies: a millisecond clock and full paths.
#pragma once

#include "base/string.h"

#include <cstdint>

namespace ovra {

// Milliseconds from a monotonic clock; only differences mean anything.
std::uint32_t tickCount();

// The absolute, normalised path of a file name (which need not exist).
String fullPathName(const ConstString& fileName);

// The directory part of a full path, with its final separator ("/a/b/c.xml" -> "/a/b/").
String directoryOf(const ConstString& fullPath);

}  // namespace ovra
