#include "support/registry_values.hpp"

#ifdef _WIN32

#include <windows.h>

#include <cstdlib>
#include <cctype>
#include <mutex>
#include <utility>
#include <sstream>
#include <stdexcept>

#include "platform/utf.hpp"

namespace wdrx::testing {
namespace {

std::wstring lf_wide(const std::string& text) {
  const auto wide = platform::utf8ToUtf16(text).value_or(std::u16string{});
  return std::wstring(wide.begin(), wide.end());
}

struct Scratch {
  std::wstring base;
  HKEY currentUser = nullptr;
  HKEY localMachine = nullptr;
};

Scratch& lf_scratch() {
  static Scratch scratch;
  static std::once_flag made;
  std::call_once(made, [] {
    scratch.base = L"Software\\Wendrix_P3D tests\\" + std::to_wstring(::GetCurrentProcessId());
    HKEY base = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, scratch.base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &base, &disposition) != ERROR_SUCCESS ||
        ::RegCreateKeyExW(base, L"HKCU", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch.currentUser,
                          &disposition) != ERROR_SUCCESS ||
        ::RegCreateKeyExW(base, L"HKLM", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch.localMachine,
                          &disposition) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_CURRENT_USER, scratch.currentUser) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch.localMachine) != ERROR_SUCCESS) {
      throw std::runtime_error("writeRegistry: no scratch registry key");
    }
    ::RegCloseKey(base);
    std::atexit([] {
      ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
      ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
      ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch.base.c_str());
    });
  });
  return scratch;
}

std::string lf_trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool lf_startsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

}  // namespace

void writeRegistry(const std::string& text) {
  Scratch& scratch = lf_scratch();
  ::RegOverridePredefKey(HKEY_CURRENT_USER, scratch.currentUser);
  ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch.localMachine);
  ::RegDeleteTreeW(scratch.currentUser, nullptr);
  ::RegDeleteTreeW(scratch.localMachine, nullptr);
  HKEY key = nullptr;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = lf_trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (key != nullptr) ::RegCloseKey(std::exchange(key, nullptr));
      std::string path = line.substr(1, line.find(']') - 1);
      HKEY root = nullptr;
      for (const auto& [name, handle] : {std::pair{std::string("HKEY_CURRENT_USER\\"), scratch.currentUser},
                                         std::pair{std::string("HKEY_LOCAL_MACHINE\\"), scratch.localMachine}}) {
        if (lf_startsWithNoCase(path, name)) {
          root = handle;
          path = path.substr(name.size());
        }
      }
      DWORD disposition = 0;
      if (root == nullptr || ::RegCreateKeyExW(root, lf_wide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &key, &disposition) != ERROR_SUCCESS) {
        key = nullptr;
      }
      continue;
    }
    const auto equals = line.find('=');
    if (key == nullptr || equals == std::string::npos) continue;
    const std::wstring name = lf_wide(lf_trim(line.substr(0, equals)));
    const std::string value = lf_trim(line.substr(equals + 1));
    if (value.rfind("dword:", 0) == 0) {
      const DWORD number = static_cast<DWORD>(std::stoul(value.substr(6), nullptr, 16));
      ::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    } else {
      const std::wstring wide = lf_wide(value);
      ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    }
  }
  if (key != nullptr) ::RegCloseKey(key);
}

void useSystemRegistry() {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
}

}  // namespace wdrx::testing

#else

#include "foundation/paths.hpp"
#include "support/temp_dir.hpp"

namespace wdrx::testing {

void writeRegistry(const std::string& text) {
  if (text.empty()) {
    std::error_code ignored;
    std::filesystem::remove(dataFolder / "registry.ini", ignored);  // no file: no keys
    return;
  }
  writeFile(dataFolder / "registry.ini", text);
}
void useSystemRegistry() {}

}  // namespace wdrx::testing

#endif
