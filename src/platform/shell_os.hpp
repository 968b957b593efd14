#pragma once
// The system side of shell.hpp, one implementation per system; shell.cpp routes to it unless a
// test has installed its own handler.
#include <filesystem>
#include <string>

namespace platform::os {
bool shellOpenFolder(const std::filesystem::path& folder);
void warningMessageBox(const std::string& text, const std::string& caption);
}  // namespace platform::os
