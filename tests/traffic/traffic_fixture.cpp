#include "traffic/traffic_fixture.hpp"

#include <algorithm>
#include <sstream>
#include <thread>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "records/engine_cycle.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "traffic/link_state.hpp"
#include "traffic/psx_server.hpp"
#include "traffic/qnh.hpp"
#include "traffic/traffic_decoder.hpp"
#include "traffic/udp_reader.hpp"

namespace wdrx::testing {

void TrafficFixture::SetUp() {
  // Every test starts from the program's start values, whatever ran before it.
  runStopRequested.store(false);
  closeRequested.store(false);
  exitReason.store(ExitReason::NotYetSet);
  restartDelay.store(0);
  gf_clearStatus();
  gf_clearError();
  rtProfessional.store(false);
  awaitingRealTraffic.store(true);
  realTrafficDisplay.trafficLamp.store(lampHidden);
  realTrafficDisplay.qnhLamp.store(lampHidden);
  realTrafficDisplay.qnhValue.store(0);
  realTrafficDisplay.realTrafficLinked.store(false);
  realTrafficDisplay.setRealTrafficText({});
  gf_setCountersBandNotifier(nullptr);
  gf_setAbortLiveTraffic(nullptr);
  psxServer.psxInput.clear();
  qnhHpa.store(1013);
  qnhReader.lastQnh.store(0);
  qnhReader.datagramCount.store(0);
  qnhReader.lampCount.store(0);
  trafficReader.lastDatagram.clear();
  qnhReader.lastDatagram.clear();
  trafficReader.datagramCount.store(0);
  trafficReader.lampCount.store(0);
  trafficReader.drops.reset();
  qnhReader.drops.reset();
  trafficReader.takeCallsigns();
  trafficLampLit.store(false);
  qnhLampLit.store(false);
  {
    std::lock_guard lock(logMutex);
    logStream.open("Log.txt", std::ios::out | std::ios::trunc | std::ios::binary);
    logStream << "header\n";
  }
  rangeNm.store(40.0);
  AIRBORNE_ONLY.value.store(false);
  parkAirportCode.store(IcaoCode{});
  parkAirport.store(Airport{});
  engineCycle.store(0);
  {
    std::lock_guard lock(trafficMutex);
    addingStack.clear();
    acceptTraffic = true;
  }
  trafficSourceTime.store(0.0);
  trafficReader.setUserLatLon({52.3, 4.76});
  trafficReader.setFieldElevation(std::nullopt);
  trafficReader.trafficQnh.store(1013);
  realTrafficDetected.store(true);
}

void TrafficFixture::TearDown() {
  gf_stopReaders();
  closeLog();
}

std::vector<std::string> TrafficFixture::logLines() {
  {
    std::lock_guard lock(logMutex);
    if (logStream.is_open()) logStream.flush();
  }
  std::istringstream in(readFile("Log.txt"));
  std::vector<std::string> lines;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool TrafficFixture::logHas(const std::string& line) {
  const auto lines = logLines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool TrafficFixture::logHasPart(const std::string& text) {
  const auto lines = logLines();
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

void feedDatagram(UdpReader& reader, const std::string& datagram) {
  std::copy(datagram.begin(), datagram.end(), reader.buffer.begin());
  reader.buffer[datagram.size()] = 0;
  reader.datagram = std::string_view(reader.buffer.data(), datagram.size());
  reader.onDatagram();
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace wdrx::testing
