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

LUMO_PLATFORM_EXPORT ReadResult readWhole(const std::filesystem::path& file);

// Writes a temporary file in the same folder, flushes it to disk and renames it over `file`,
// so a reader sees the old or the new contents, never a mix. Creates missing folders.
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
