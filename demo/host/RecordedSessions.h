#pragma once

#include <filesystem>
#include <vector>

namespace demo {

// The session recordings the SDK keeps in the app sandbox, newest first.
std::vector<std::filesystem::path> recordedSessions();

}  // namespace demo
