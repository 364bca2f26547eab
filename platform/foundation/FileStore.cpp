#include "platform/foundation/FileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/foundation/SystemLog.h"

namespace platform::foundation::filestore {
namespace {

namespace fs = std::filesystem;

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// A temporary name unique within the process and across processes sharing the folder.
fs::path temporaryNameFor(const fs::path& file) {
  static std::atomic<unsigned> counter{0};
  std::string name = ".";
  name += file.filename().string();
  name += ".tmp-";
  name += std::to_string(::getpid());
  name += '-';
  name += std::to_string(counter.fetch_add(1));
  return file.parent_path() / name;
}

// Missing folders on the way to `folder`, each 0700.
void createPrivateFolders(const fs::path& folder) {
  std::error_code ec;
  if (folder.empty() || fs::exists(fs::symlink_status(folder, ec))) return;
  if (folder.has_parent_path() && folder.parent_path() != folder) createPrivateFolders(folder.parent_path());
  (void)::mkdir(folder.c_str(), 0700);
}

ReadResult failedRead(std::string error) {
  ReadResult result;
  result.status = ReadStatus::failed;
  result.error = std::move(error);
  return result;
}

ReadResult readOpen(int fd, std::size_t maxBytes) {
  ReadResult result;
  char buffer[8192];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failedRead(errnoText("cannot read"));
    if (got == 0) break;
    if (result.contents.size() + static_cast<size_t>(got) > maxBytes) {
      return failedRead("larger than " + std::to_string(maxBytes) + " bytes");
    }
    result.contents.append(buffer, static_cast<size_t>(got));
  }
  result.status = ReadStatus::ok;
  return result;
}

// Opens for reading without following a link or waiting on a pipe; -1 with `result` set.
int openForReading(const fs::path& file, ReadResult& result) {
  int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) return fd;
  if (errno == ENOENT) {
    result.status = ReadStatus::missing;
  } else {
    result = failedRead(errno == ELOOP ? std::string("is a link:") : errnoText("cannot open"));
  }
  return -1;
}

bool isRegular(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Writes and flushes a fresh temporary file; returns its path or sets `error`.
std::optional<fs::path> writeTemporary(const fs::path& file, std::string_view contents, std::string* error) {
  if (file.has_parent_path()) createPrivateFolders(file.parent_path());
  fs::path temp = temporaryNameFor(file);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = errnoText("cannot create temporary file");
    return std::nullopt;
  }
  // The umask may have taken more than it should; the file is the user's alone either way.
  (void)::fchmod(fd, 0600);
  const char* data = contents.data();
  size_t left = contents.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *error = errnoText("cannot write temporary file");
      ::close(fd);
      ::unlink(temp.c_str());
      return std::nullopt;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  // Without the flush a power loss after the rename could leave an empty file in its place.
  if (::fsync(fd) != 0) {
    *error = errnoText("cannot flush temporary file");
    ::close(fd);
    ::unlink(temp.c_str());
    return std::nullopt;
  }
  ::close(fd);
  return temp;
}

}  // namespace

ReadResult readWhole(const fs::path& file, std::size_t maxBytes) {
  ReadResult result;
  int fd = openForReading(file, result);
  if (fd < 0) return result;
  result = isRegular(fd) ? readOpen(fd, maxBytes) : failedRead("not a regular file:");
  ::close(fd);
  return result;
}

ReadResult readPrivate(const fs::path& file, std::size_t maxBytes) {
  ReadResult result;
  int fd = openForReading(file, result);
  if (fd < 0) return result;
  result = keepPrivate(fd, file) ? readOpen(fd, maxBytes) : failedRead("not a private file of this user:");
  ::close(fd);
  return result;
}

bool keepPrivate(int fd, const fs::path& file) {
  struct stat info {};
  auto refuse = [&file](const std::string& why) {
    SystemLog::error("FileStore: " + file.string() + " " + why + "; not used");
    return false;
  };
  if (::fstat(fd, &info) != 0) return refuse(errnoText("cannot be examined"));
  if (!S_ISREG(info.st_mode)) return refuse("is not a regular file");
  if (info.st_uid != ::geteuid()) return refuse("belongs to another user");
  if ((info.st_mode & 077) != 0) {
    if (::fchmod(fd, 0600) != 0) return refuse(errnoText("cannot be made private"));
    SystemLog::info("FileStore: " + file.string() + " was open to others; narrowed to 0600");
  }
  return true;
}

std::optional<std::string> writeAtomically(const fs::path& file, std::string_view contents) {
  std::string error;
  std::optional<fs::path> temp = writeTemporary(file, contents, &error);
  if (!temp) return error;
  if (::rename(temp->c_str(), file.c_str()) != 0) {
    error = errnoText("cannot replace file");
    ::unlink(temp->c_str());
    return error;
  }
  return std::nullopt;
}

bool createExclusively(const fs::path& file, std::string_view contents, std::string* error) {
  std::optional<fs::path> temp = writeTemporary(file, contents, error);
  if (!temp) return false;
  // link() fails when the target exists, so two racing creators agree on one file.
  bool linked = ::link(temp->c_str(), file.c_str()) == 0;
  if (!linked) *error = errno == EEXIST ? std::string() : errnoText("cannot create file");
  ::unlink(temp->c_str());
  return linked;
}

std::string safeFileName(std::string name, std::string_view fallback) {
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") return std::string(fallback);
  return name;
}

std::optional<fs::path> setAside(const fs::path& file) {
  for (int n = 1; n < 1000; ++n) {
    fs::path target = file;
    target += ".damaged-" + std::to_string(n);
    std::error_code ec;
    if (fs::exists(target, ec) || ec) continue;
    // A hard link keeps an earlier set-aside file from being replaced if two processes race.
    if (::link(file.c_str(), target.c_str()) == 0) {
      ::unlink(file.c_str());
      return target;
    }
    if (errno == EEXIST) continue;
    // File systems without hard links: a plain rename onto the name just found free.
    if (::rename(file.c_str(), target.c_str()) == 0) return target;
    break;
  }
  return std::nullopt;
}

}  // namespace platform::foundation::filestore
