#pragma once
// Registry contents for a test, given as the stand-in's text: sections "[ROOT\key path]" with
// lines "name=text" or "name=dword:<hex>". Posix writes it as registry.ini in the data folder.
// Windows writes real keys, with HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of the test process
// mapped onto a key of its own (RegOverridePredefKey), so that tests running side by side in one
// Wine prefix never see each other's values. Each call replaces what the previous one wrote.
#include <string>

namespace wdrx::testing {

void writeRegistry(const std::string& text);
// Windows: the process sees the system's own registry again (until the next writeRegistry).
void useSystemRegistry();

}  // namespace wdrx::testing
