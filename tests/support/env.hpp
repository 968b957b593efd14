#pragma once
// Setting and removing environment variables in tests, on every system (Windows: the wide
// environment, so that folders with any letters pass through).
#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include "platform/utf.hpp"
#endif

namespace wdrx::testing {

inline void setEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  const auto wide = [](const std::string& text) {
    const auto converted = platform::utf8ToUtf16(text).value_or(std::u16string{});
    return std::wstring(converted.begin(), converted.end());
  };
  ::_wputenv_s(wide(name).c_str(), wide(value).c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void setEnvPath(const std::string& name, const std::filesystem::path& value) {
#ifdef _WIN32
  const auto converted = platform::utf8ToUtf16(name).value_or(std::u16string{});
  ::_wputenv_s(std::wstring(converted.begin(), converted.end()).c_str(), value.wstring().c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void unsetEnv(const std::string& name) {
#ifdef _WIN32
  // An empty value removes the variable on Windows.
  setEnv(name, "");
#else
  ::unsetenv(name.c_str());
#endif
}

}  // namespace wdrx::testing
