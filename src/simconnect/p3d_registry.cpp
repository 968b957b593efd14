#include "simconnect/p3d_registry.hpp"

#include "platform/registry.hpp"

namespace {

std::u16string lf_p3dKey(int majorVersion) {
  return u"SOFTWARE\\Lockheed Martin\\Prepar3D v" + std::u16string(1, static_cast<char16_t>(u'0' + majorVersion % 10));
}

}  // namespace

bool gf_isP3Dinstalled(int majorVersion) {
  try {
    RegistryKey key(platform::RegistryRoot::localMachine, lf_p3dKey(majorVersion), true);
    return true;
  } catch (const winreg::RegException&) {
    return false;
  }
}

std::u16string gf_getP3DSetupPath(int majorVersion) {
  try {
    const RegistryKey key(platform::RegistryRoot::localMachine, lf_p3dKey(majorVersion), true);
    return key.getStringValue(u"SetupPath");
  } catch (const winreg::RegException&) {
    return {};
  }
}
