#pragma once
// The installation of Prepar3D v5 or v6 as the registry tells it.
#include <string>

// True when HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v<major> opens (64-bit view).
bool gf_isP3Dinstalled(int majorVersion);
// That key's "SetupPath" string value; empty when the key does not open or the value is
// missing or not a string.
std::u16string gf_getP3DSetupPath(int majorVersion);
