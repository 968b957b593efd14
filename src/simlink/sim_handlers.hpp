#pragma once
// Handlers of the SimClient thread for answers about aircraft (called by lf_simDispatch).
#include <cstdint>
#include <string_view>

#include "simconnect/simconnect.hpp"

void lf_onUserAircraftData(const SimRecvSimObjectData& packet, std::uint32_t size);
void lf_onUserAcTitle(std::string_view title);
void lf_onUserAcModel(std::string_view model);
void lf_onAircraftByType(const SimRecvSimObjectData& packet, std::uint32_t size);
void lf_storeUserStand();
