#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/PlatformExport.h"

// Internal to the platform layer: small file operations shared by the preferences and the
// vendor identifier, both of which must never leave a half-written or silently lost file.
namespace platform::foundation::filestore {

enum class ReadStatus { ok, missing, failed };

struct LUMO_PLATFORM_EXPORT ReadResult {
  ReadStatus status = ReadStatus::missing;
  std::string contents;
  std::string error;  // why a read failed
};

// Reads a regular file of at most `maxBytes` whole, never through a link (a link, a device,
// a pipe or a larger file is a failed read, so nothing can make the reader hang or fill memory).
LUMO_PLATFORM_EXPORT ReadResult readWhole(const std::filesystem::path& file, std::size_t maxBytes);
// The same for a file of the user's private sandbox: another user's file is a failed read, and
// one that others may read is narrowed to 0600 (one system-log line).
LUMO_PLATFORM_EXPORT ReadResult readPrivate(const std::filesystem::path& file, std::size_t maxBytes);

// For an open file of the sandbox: true when it is a regular file of the user, narrowed to
// 0600 when others could read it; a refusal writes one system-log line.
LUMO_PLATFORM_EXPORT bool keepPrivate(int fd, const std::filesystem::path& file);

// Writes a temporary file in the same folder, flushes it to disk and renames it over `file`,
// so a reader sees the old or the new contents, never a mix. The file is 0600 whatever the
// umask; missing folders are created 0700.
// Returns the reason on failure.
LUMO_PLATFORM_EXPORT std::optional<std::string> writeAtomically(const std::filesystem::path& file, std::string_view contents);

// Like writeAtomically but never replaces an existing file: returns false (and no error)
// when `file` already exists.
LUMO_PLATFORM_EXPORT bool createExclusively(const std::filesystem::path& file, std::string_view contents, std::string* error);

// Makes `name` usable as one file or folder name: no "/" or NUL, not "." or "..";
// `fallback` stands in for a name that is left empty.
LUMO_PLATFORM_EXPORT std::string safeFileName(std::string name, std::string_view fallback);

// Moves a damaged file out of the way as "<name>.damaged-<n>" (first free n from 1) and
// returns the new path, or nothing when it could not be moved.
LUMO_PLATFORM_EXPORT std::optional<std::filesystem::path> setAside(const std::filesystem::path& file);

}  // namespace platform::foundation::filestore
