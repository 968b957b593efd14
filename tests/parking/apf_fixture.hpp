#pragma once
// Fixtures of the airport-file tests: a working folder with Log.txt, a fake clock, a recording
// window, the park airport, airports and registrations of the test's own, and airport files
// written from small pieces of XML. Every global the airport-file code keeps is reset around
// each test.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aircraft/aircraft_codes.hpp"
#include "config/config_fixture.hpp"
#include "foundation/fixed_code.hpp"
#include "parking/stand.hpp"
#include "support/fake_clock.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace apf_test {

// 2023-11-14 22:13:20 UTC, a Tuesday.
inline constexpr std::int64_t fixedNow = 1'700'000'000;

// The meta block the reader accepts.
std::string metaXml(const std::string& version = "12.5.4");
// A whole airport file: meta, parameters (name, value) and the inner XML of parkpositions.
std::string apfXml(const std::vector<std::pair<std::string, std::string>>& parameters,
                   const std::string& parkpositions, const std::string& version = "12.5.4");
// A parkpos element with a position and the extra attributes and children.
std::string parkpos(const std::string& id, double latitude, double longitude,
                    const std::string& attributes = "", const std::string& children = "");

// A learned, real option of the registration on the day in the hh slots.
StandOption makeOption(const std::string& reg, std::uint32_t day, const std::string& hh,
                       std::uint32_t number);

void addAirport(const std::string& icao, double latitude, double longitude, int stands);
AircraftCodes addRegistration(const std::string& registration, const std::string& airline,
                              const std::string& model, bool cargo = false);
void setParkAirport(const std::string& icao);
// Every global of the airport-file code, the per-airport settings, the airport table and the
// registrations back to their start values.
void resetAll();

class ApfTest : public ::testing::Test {
 protected:
  ApfTest();
  ~ApfTest() override;

  std::string logText() const { return log.text(); }
  // Log lines that contain the text.
  std::vector<std::string> logLinesWith(const std::string& text) const;

  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  wdrx::testing::FakeClock clock{fixedNow};
  RecordingView view;
};

}  // namespace apf_test
