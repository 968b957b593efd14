// The receive path of the simulator connection: the input is the byte stream from the
// simulator, written into the connection's receive space in pieces of the sizes the input
// chooses; the packets cut from it are dispatched to the program's own dispatch callback,
// as the SimClient thread does (which catches what the handlers throw and ends the run).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>

#include "foundation/time_text.hpp"
#include "fuzz_support.hpp"
#include "runstate/run_control.hpp"
#include "simconnect/connection.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/user_aircraft.hpp"

namespace {

void lf_dispatch(const SimRecv* packet, std::uint32_t size, void* context) {
  try {
    lf_simDispatch(packet, size, context);
  } catch (const std::exception&) {
    // The SimClient thread logs it and ends; the next packet finds the state it left.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  wdrx::fuzz::Input input(data, size);
  const std::uint8_t options = input.byte();
  gf_resetSimLink();
  runStopRequested.store(false);
  closeRequested.store(false);
  rtProfessional.store((options & 1) != 0);
  userObjectId.store(options >> 4);

  SimConnectConfig config;
  config.maxReceiveSize = (options & 2) ? 41088 : 1u << 20;
  SimConnection connection(config, nullptr);
  while (!input.empty()) {
    // A piece of 1 to 256 bytes (the stream arrives in reads of any size).
    const std::size_t piece = static_cast<std::size_t>(input.byte()) + 1;
    const std::string_view bytes = input.take(piece);
    std::size_t written = 0;
    bool open = true;
    while (open && written < bytes.size()) {
      const auto space = connection.receiveSpace();
      const std::size_t n = std::min(space.size(), bytes.size() - written);
      std::memcpy(space.data(), bytes.data() + written, n);
      written += n;
      open = connection.received(n);
    }
    connection.dispatch(lf_dispatch, nullptr);
    if (!open) break;
  }
  gf_resetSimLink();
  std::lock_guard lock(simResultMutex);
  simResultQueue.clear();
  return 0;
}
