// Private-profile files read with the system's own profile functions (wide), on absolute paths
// so that a bare file name is never looked up in the Windows folder.
#include "platform/profile.hpp"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/utf.hpp"

namespace platform {
namespace {

constexpr DWORD firstBufferChars = 2048;
constexpr DWORD largestBufferChars = 1u << 24;

std::wstring lf_wide(std::string_view utf8) {
  const auto wide = utf8ToUtf16(utf8).value_or(std::u16string{});
  return std::wstring(wide.begin(), wide.end());
}

std::string lf_utf8(std::wstring_view wide) {
  return utf16ToUtf8Replacing(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::wstring lf_file(const std::filesystem::path& file) {
  std::error_code ignored;
  const auto absolute = std::filesystem::absolute(file, ignored);
  return (absolute.empty() ? file : absolute).wstring();
}

bool lf_exists(const std::filesystem::path& file) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(file, ignored);
}

// Calls read(buffer, size) with growing buffers until the result fits; `listSlack` is what the
// function leaves free when it cuts a result (1 for a text, 2 for a list of texts).
template <typename Read>
std::wstring lf_readGrowing(Read&& read, DWORD listSlack) {
  for (DWORD size = firstBufferChars;; size *= 2) {
    std::wstring buffer(size, L'\0');
    const DWORD got = read(buffer.data(), size);
    if (got + listSlack < size || size >= largestBufferChars) {
      buffer.resize(got);
      return buffer;
    }
  }
}

// A list of NUL-separated texts (section or key names).
std::vector<std::wstring> lf_splitList(const std::wstring& list) {
  std::vector<std::wstring> names;
  std::size_t start = 0;
  while (start < list.size()) {
    const auto end = list.find(L'\0', start);
    const auto stop = end == std::wstring::npos ? list.size() : end;
    if (stop > start) names.push_back(list.substr(start, stop - start));
    start = stop + 1;
  }
  return names;
}

bool lf_namesEqual(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool profileSectionExists(const std::filesystem::path& file, std::string_view section) {
  if (!lf_exists(file)) return false;
  const std::wstring path = lf_file(file);
  const std::wstring wanted = lf_wide(section);
  const std::wstring list = lf_readGrowing(
      [&](wchar_t* buffer, DWORD size) { return ::GetPrivateProfileSectionNamesW(buffer, size, path.c_str()); }, 2);
  for (const auto& name : lf_splitList(list)) {
    if (lf_namesEqual(name, wanted)) return true;
  }
  return false;
}

std::optional<std::string> findProfileValue(const std::filesystem::path& file,
                                            std::string_view section, std::string_view key) {
  if (!lf_exists(file)) return std::nullopt;
  const std::wstring path = lf_file(file);
  const std::wstring sectionName = lf_wide(section);
  const std::wstring keyName = lf_wide(key);
  // The key list tells a missing key from an empty value.
  const std::wstring keys = lf_readGrowing(
      [&](wchar_t* buffer, DWORD size) {
        return ::GetPrivateProfileStringW(sectionName.c_str(), nullptr, L"", buffer, size, path.c_str());
      },
      2);
  bool present = false;
  for (const auto& name : lf_splitList(keys)) present = present || lf_namesEqual(name, keyName);
  if (!present) return std::nullopt;
  const std::wstring value = lf_readGrowing(
      [&](wchar_t* buffer, DWORD size) {
        return ::GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), L"", buffer, size, path.c_str());
      },
      1);
  return lf_utf8(value);
}

std::string readProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferChars) {
  if (bufferChars == 0) return {};
  const std::wstring path = lf_file(file);
  const std::wstring sectionName = lf_wide(section);
  const std::wstring keyName = lf_wide(key);
  const std::wstring fallback = lf_wide(defaultValue);
  const DWORD size = bufferChars > largestBufferChars ? largestBufferChars : static_cast<DWORD>(bufferChars);
  std::wstring buffer(size, L'\0');
  const DWORD got = ::GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), fallback.c_str(),
                                               buffer.data(), size, path.c_str());
  buffer.resize(got);
  return lf_utf8(buffer);
}

}  // namespace platform
