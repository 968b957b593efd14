#pragma once
// Reading string values from the registry. On Windows this is the system registry; elsewhere
// the file "registry.ini" in the data folder stands in for it: one section per key, named by
// the key's full path ("[HKEY_CURRENT_USER\SOFTWARE\Lockheed Martin\Prepar3D v5]"), with
// lines "name=value" for string values and "name=dword:<hex>" for numbers. Key paths and
// value names compare without regard to case; a missing file is a missing key.
#include <memory>
#include <string>
#include <system_error>

namespace winreg {

// A registry failure: the Windows error code (system category) and what failed.
class RegException : public std::system_error {
 public:
  RegException(int errorCode, const std::string& message)
      : std::system_error(errorCode, std::system_category(), message) {}
};

}  // namespace winreg

namespace platform {

enum class RegistryRoot { localMachine, currentUser };

// Windows error codes the stand-in reports.
inline constexpr int registryNotFound = 2;           // ERROR_FILE_NOT_FOUND
inline constexpr int registryMoreData = 234;         // ERROR_MORE_DATA
inline constexpr int registryUnsupportedType = 1630; // ERROR_UNSUPPORTED_TYPE

// The text of a root as it names stand-in sections ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER").
const char* registryRootName(RegistryRoot root);

}  // namespace platform

// Owns one open registry key (opened for reading); closed when the object goes.
class RegistryKey {
 public:
  RegistryKey();
  // Opens root\subKey for reading (view64: the 64-bit view); throws winreg::RegException
  // "RegOpenKeyExW failed." when the key does not open.
  RegistryKey(platform::RegistryRoot root, const std::u16string& subKey, bool view64 = false);
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  void open(platform::RegistryRoot root, const std::u16string& subKey, bool view64 = false);
  void close();
  bool isOpen() const;

  // A string value (REG_SZ) without its terminating NUL. Throws winreg::RegException
  // "Cannot get the size of the string value: RegGetValueW failed." when the value is missing
  // or not a string, "Cannot get the string value: RegGetValueW failed." when reading fails.
  std::u16string getStringValue(const std::u16string& valueName) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
