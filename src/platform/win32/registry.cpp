// Reading the system registry: keys opened for reading, string values read with RegGetValueW.
#include "platform/registry.hpp"

#include <windows.h>

namespace platform {

const char* registryRootName(RegistryRoot root) {
  return root == RegistryRoot::localMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

}  // namespace platform

struct RegistryKey::Impl {
  HKEY key = nullptr;
  ~Impl() {
    if (key != nullptr) ::RegCloseKey(key);
  }
};

RegistryKey::RegistryKey() = default;
RegistryKey::RegistryKey(platform::RegistryRoot root, const std::u16string& subKey, bool view64) {
  open(root, subKey, view64);
}
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

void RegistryKey::open(platform::RegistryRoot root, const std::u16string& subKey, bool view64) {
  close();
  const HKEY parent = root == platform::RegistryRoot::localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  const REGSAM access = KEY_READ | (view64 ? KEY_WOW64_64KEY : 0);
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExW(parent, reinterpret_cast<const wchar_t*>(subKey.c_str()), 0, access, &key);
  if (rc != ERROR_SUCCESS) throw winreg::RegException(static_cast<int>(rc), "RegOpenKeyExW failed.");
  impl_ = std::make_unique<Impl>();
  impl_->key = key;
}

void RegistryKey::close() { impl_.reset(); }

bool RegistryKey::isOpen() const { return impl_ != nullptr; }

std::u16string RegistryKey::getStringValue(const std::u16string& valueName) const {
  static const char* const sizeFailed = "Cannot get the size of the string value: RegGetValueW failed.";
  static const char* const readFailed = "Cannot get the string value: RegGetValueW failed.";
  if (!impl_) throw winreg::RegException(ERROR_INVALID_HANDLE, sizeFailed);
  const auto* name = reinterpret_cast<const wchar_t*>(valueName.c_str());
  // The value may grow between the two calls; a second size query then follows.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD bytes = 0;
    LONG rc = ::RegGetValueW(impl_->key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    if (rc != ERROR_SUCCESS) throw winreg::RegException(static_cast<int>(rc), sizeFailed);
    std::u16string text(bytes / sizeof(char16_t) + 1, u'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(char16_t));
    rc = ::RegGetValueW(impl_->key, nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) throw winreg::RegException(static_cast<int>(rc), readFailed);
    // RegGetValueW ends the text with a NUL; what follows it is not part of the value.
    text.resize(bytes / sizeof(char16_t));
    const auto end = text.find(u'\0');
    if (end != std::u16string::npos) text.resize(end);
    return text;
  }
  throw winreg::RegException(ERROR_MORE_DATA, readFailed);
}
