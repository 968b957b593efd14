// fakesim [--port N] [--socket PATH] [--ipv6] [--v6] [--frame-ms N] [--position LAT,LON[,ALT,HDG]]
//         [--on-ground | --airborne]   (see fakesim::parseArguments)
// Serves the simulator protocol on 127.0.0.1:N (N = 0 picks a free port) and/or a Unix socket,
// sends about 30 frames a second, prints the port (or, with only a socket, its path) as the
// first line, then one line per packet received, until SIGINT or SIGTERM.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fakesim/fakesim.hpp"

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void lf_onSignal(int) { stopSignal = 1; }

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto parsed = fakesim::parseArguments(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!parsed) {
    std::cerr << "fakesim: " << error << "\n"
              << "usage: fakesim [--port N] [--socket PATH] [--ipv6] [--v6] [--frame-ms N]\n"
              << "               [--position LAT,LON[,ALT_FT[,HEADING_DEG]]] [--on-ground | --airborne]\n";
    return 2;
  }
  const fakesim::Options& options = *parsed;
  fakesim::FakeSim sim(options);
  std::mutex outputMutex;
  sim.setPacketObserver([&](const fakesim::Packet& packet) {
    std::lock_guard lock(outputMutex);
    std::cout << packet.describe() << std::endl;
  });
  if (!sim.start(&error)) {
    std::cerr << "fakesim: " << error << "\n";
    return 1;
  }
  {
    std::lock_guard lock(outputMutex);
    if (options.tcp4) {
      std::cout << sim.port() << std::endl;
    } else if (options.tcp6) {
      std::cout << sim.port6() << std::endl;
    } else {
      std::cout << options.socketPath.string() << std::endl;
    }
  }
  std::signal(SIGINT, lf_onSignal);
  std::signal(SIGTERM, lf_onSignal);
  while (stopSignal == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  sim.stop();
  return 0;
}
