#pragma once
// Putting a file in the place of an existing one. On Windows the C++ runtime cannot copy over a
// file (it has no file ids there and takes any two files of one drive for the same file), and
// a file that someone holds open cannot be replaced until they let go of it.
#include <filesystem>
#include <system_error>

namespace platform {

// Copies `from` to `to`, replacing a file that is there; an empty error on success.
std::error_code copyFileOver(const std::filesystem::path& from, const std::filesystem::path& to);

// Renames `from` to `to` in one step, replacing a file that is there; an empty error on
// success. On Windows it waits up to two seconds while a reader holds `to` open.
std::error_code moveFileOver(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace platform
