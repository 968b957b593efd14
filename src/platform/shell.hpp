#pragma once
// Asking the desktop to show something to the user: a folder in the file manager, a warning box.
#include <filesystem>
#include <functional>
#include <string>

namespace platform {

// Opens the folder in the desktop's file manager ("open" verb, normal window). True when the
// request was handed over successfully; never waits for the file manager.
bool shellOpenFolder(const std::filesystem::path& folder);

// A warning message box without owner window. On Windows it waits for the user; elsewhere the
// text goes to the standard error stream.
void warningMessageBox(const std::string& text, const std::string& caption);

// Tests replace the real shell and message box so that nothing is launched or shown.
// An empty function restores the real one.
void setShellOpenHandler(std::function<bool(const std::filesystem::path&)> handler);
void setMessageBoxHandler(std::function<void(const std::string& text, const std::string& caption)> handler);

}  // namespace platform
