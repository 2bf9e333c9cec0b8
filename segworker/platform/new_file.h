#pragma once

#include <filesystem>

// Exclusive file creation for the worker's temporary plug-in file, with the platform's own
// call: a file that exists already, or appears meanwhile, is never opened or truncated.
namespace mivra::foreground_detection::platform {

// Creates an empty file at path, only if nothing exists there. False when something does
// or the file cannot be made. Never throws.
bool createNewFile(const std::filesystem::path& path) noexcept;

}  // namespace mivra::foreground_detection::platform
