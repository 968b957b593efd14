// The registry stand-in: "registry.ini" in the data folder, one section per key path.
#include "platform/registry.hpp"

#include <filesystem>
#include <string_view>

#include "platform/known_folders.hpp"
#include "platform/profile.hpp"
#include "platform/utf.hpp"

namespace platform {

const char* registryRootName(RegistryRoot root) {
  return root == RegistryRoot::localMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

}  // namespace platform

namespace {

std::filesystem::path lf_registryFile() {
  const auto roaming = platform::knownFolder(platform::KnownFolder::RoamingAppData);
  return platform::programDataFolder(roaming.value_or(std::filesystem::path{})) / "registry.ini";
}

}  // namespace

struct RegistryKey::Impl {
  std::filesystem::path file;
  std::string section;
};

RegistryKey::RegistryKey() = default;
RegistryKey::RegistryKey(platform::RegistryRoot root, const std::u16string& subKey, bool view64) {
  open(root, subKey, view64);
}
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

void RegistryKey::open(platform::RegistryRoot root, const std::u16string& subKey, bool /*view64*/) {
  close();
  std::string path = platform::utf16ToUtf8Replacing(subKey);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  auto impl = std::make_unique<Impl>();
  impl->file = lf_registryFile();
  impl->section = std::string(platform::registryRootName(root)) + (path.empty() ? "" : "\\" + path);
  if (!platform::profileSectionExists(impl->file, impl->section)) {
    throw winreg::RegException(platform::registryNotFound, "RegOpenKeyExW failed.");
  }
  impl_ = std::move(impl);
}

void RegistryKey::close() { impl_.reset(); }

bool RegistryKey::isOpen() const { return impl_ != nullptr; }

std::u16string RegistryKey::getStringValue(const std::u16string& valueName) const {
  static const char* const sizeFailed = "Cannot get the size of the string value: RegGetValueW failed.";
  if (!impl_) throw winreg::RegException(6 /* ERROR_INVALID_HANDLE */, sizeFailed);
  const auto value =
      platform::findProfileValue(impl_->file, impl_->section, platform::utf16ToUtf8Replacing(valueName));
  if (!value) throw winreg::RegException(platform::registryNotFound, sizeFailed);
  const std::string_view text = *value;
  if (text.starts_with("dword:") || text.starts_with("qword:") || text.starts_with("hex:")) {
    throw winreg::RegException(platform::registryUnsupportedType, sizeFailed);
  }
  auto wide = platform::utf8ToUtf16(*value);
  if (!wide) {
    throw winreg::RegException(platform::registryUnsupportedType,
                               "Cannot get the string value: RegGetValueW failed.");
  }
  return *wide;
}
