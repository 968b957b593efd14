#pragma once
// The main window's procedure and what its buttons, check boxes, combo boxes and edit boxes
// do. Everything here runs on the GUI thread, except lf_refreshCounters and
// lf_noticeStaticParkingUpdate, which the main loop calls on the run thread.
#include <cstdint>
#include <string>

#include "platform/window_system.hpp"

platform::gui::MessageResult lf_mainWndProc(platform::gui::WindowHandle window,
                                            std::uint32_t message, platform::gui::WParam wParam,
                                            platform::gui::LParam lParam);

bool lf_HandleWMCOMMAND(platform::gui::WindowHandle window, platform::gui::WParam wParam);
bool lf_handleButton(platform::gui::WindowHandle window, std::uint16_t id);
bool lf_handleCheckBox(platform::gui::WindowHandle window, std::uint16_t id);
bool lf_handleComboBox(platform::gui::WindowHandle window, platform::gui::WParam wParam);

// The callsign box.
void lf_blockCallsign();
void lf_unblockCallsign();
void lf_setBlockCallsign(const std::string& callsign);

// The destination box: kind 0 empty, 1 not valid, 2 already set, 3 unknown.
void lf_destinationEntered();
void lf_checkDestination(int kind, const std::string& text);
void lf_setDestination(const std::string& text, double latitude, double longitude);

// The install-path box.
void lf_applyInstallPath(const std::string& text);
// True when the install path (UTF-8) is there; else the status line says why it is not taken.
bool gf_installPathExists(const std::string& text);

// Run thread, once a second: the live, parked and static counts.
void lf_refreshCounters();
// Announces a static-parking update for the next 15-second mark of the main loop.
void lf_noticeStaticParkingUpdate();
