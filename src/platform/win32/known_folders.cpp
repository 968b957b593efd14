#include "platform/known_folders.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace platform {

std::optional<std::filesystem::path> knownFolder(KnownFolder folder) {
  const KNOWNFOLDERID* id = nullptr;
  switch (folder) {
    case KnownFolder::RoamingAppData: id = &FOLDERID_RoamingAppData; break;
    case KnownFolder::ProgramFiles: id = &FOLDERID_ProgramFiles; break;
    case KnownFolder::ProgramFilesX86: id = &FOLDERID_ProgramFilesX86; break;
    case KnownFolder::Documents: id = &FOLDERID_Documents; break;
    case KnownFolder::PublicDocuments: id = &FOLDERID_PublicDocuments; break;
  }
  if (id == nullptr) return std::nullopt;
  PWSTR path = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(*id, KF_FLAG_DEFAULT, nullptr, &path);
  std::optional<std::filesystem::path> found;
  if (SUCCEEDED(result) && path != nullptr) found = std::filesystem::path{path};
  ::CoTaskMemFree(path);
  return found;
}

}  // namespace platform
