#pragma once
// What the simulator link needs from subsystems built on top of it: the main window's display
// members, the Prepar3D install-path check and the stand services of the park airport.
// The shell registers them before the SimClient thread starts (the thread start publishes
// them); an empty hook means the service is absent in this process and the call is skipped.
#include <functional>
#include <string>

struct SimLinkServices {
  // Main window (each call also invalidates the counters band).
  std::function<void(bool)> showSimConnected;
  std::function<void(bool)> showSimRunning;
  std::function<void(const std::string&)> showSimulatorText;
  std::function<void(const std::string&)> showAircraftText;   // the user aircraft's title
  std::function<void(const std::string&)> showUserStandName;
  std::function<void(bool)> showWingSpanKnown;

  // gf_checkP3dInstallPath: "5" or "6"; may throw tql::UserErrorException 77.
  // Absent: the digit of expectedP3dVersion.
  std::function<std::string()> checkP3dInstallPath;

  // gf_nearestStandName (latitude, longitude in degrees): empty when none.
  std::function<std::string(double, double)> nearestStandName;
  // The stand part of storing the user's stand: when the first entry of the park-airport list
  // is the park airport and its stand differs from the name, the entry takes the name and
  // my_park_airports.txt is rewritten (gf_writeMyParkAirports).
  std::function<void(const std::string&)> storeParkAirportStand;
};

extern SimLinkServices simLinkServices;
