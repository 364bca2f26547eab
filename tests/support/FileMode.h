#pragma once

#include <sys/stat.h>

#include <filesystem>

namespace lumo::test {

// The permission bits of `path` itself (a link is not followed); 0 when it does not exist.
inline unsigned modeOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

}  // namespace lumo::test
