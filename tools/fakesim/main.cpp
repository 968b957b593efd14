// fakesim [--port N] [--socket PATH] [--ipv6] [--v6] [--frame-ms N]
// Serves the simulator protocol on 127.0.0.1:N (N = 0 picks a free port) and/or a Unix socket,
// prints the port (or, with only a socket, its path) as the first line, then one line per
// packet received, until SIGINT or SIGTERM.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "fakesim/fakesim.hpp"

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void lf_onSignal(int) { stopSignal = 1; }

int lf_usage() {
  std::cerr << "usage: fakesim [--port N] [--socket PATH] [--ipv6] [--v6] [--frame-ms N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  fakesim::Options options;
  options.tcp4 = false;
  options.recordPackets = false;  // printed, not kept: the program runs until it is stopped
  bool portGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--port" && hasValue) {
      options.port = static_cast<std::uint16_t>(std::strtoul(argv[++i], nullptr, 10));
      portGiven = true;
    } else if (arg == "--socket" && hasValue) {
      options.socketPath = argv[++i];
    } else if (arg == "--ipv6") {
      options.tcp6 = true;
    } else if (arg == "--v6") {
      options.simVersion = 6;
    } else if (arg == "--frame-ms" && hasValue) {
      options.frameInterval = std::chrono::milliseconds(std::strtoul(argv[++i], nullptr, 10));
    } else {
      return lf_usage();
    }
  }
  options.tcp4 = portGiven || options.socketPath.empty();
  if (options.tcp6) options.port6 = options.port;

  fakesim::FakeSim sim(options);
  std::mutex outputMutex;
  sim.setPacketObserver([&](const fakesim::Packet& packet) {
    std::lock_guard lock(outputMutex);
    std::cout << packet.describe() << std::endl;
  });
  std::string error;
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
