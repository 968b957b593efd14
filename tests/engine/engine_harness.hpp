#pragma once
// The engine under test, cycle by cycle: a fresh working folder and log, a fake clock, a seeded
// random source, a small reference database, the fake simulator connected (for the engine's
// direct requests), and the queues toward the simulator link read and answered by the test in
// place of the SimClient thread.
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_doubles.hpp"
#include "fakesim/fakesim.hpp"
#include "records/records.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/user_aircraft.hpp"
#include "support/fake_clock.hpp"
#include "support/temp_dir.hpp"

// Readable states in test failures.
inline void PrintTo(SimState state, std::ostream* os) { *os << gf_simStateName(state); }
inline void PrintTo(FlightState state, std::ostream* os) { *os << gf_flightStateName(state); }

namespace wdrx::testing {

struct HarnessOptions {
  bool connectSim = true;   // false: no connection (requests are not sent)
  std::uint32_t seed = 1;
  bool openLog = true;
};

class EngineHarness {
 public:
  explicit EngineHarness(HarnessOptions options = {});
  ~EngineHarness();
  EngineHarness(const EngineHarness&) = delete;
  EngineHarness& operator=(const EngineHarness&) = delete;

  // A report as the decoder makes it (due 3000 cycles after the current cycle).
  static LiveReport report(std::uint32_t hexid, const std::string& callsign, std::string_view model,
                           double latitude, double longitude, double altitude, double groundSpeed,
                           double track, double timestamp);
  void push(LiveReport report);  // onto addingStack, under trafficMutex
  void pushResult(const SimResult& result);

  // One engine cycle each; the fake clock moves 10 ms per cycle.
  void cycle(int count = 1);
  // Cycles until engineCycle has the value (nothing when it is past already).
  void runTo(std::int64_t cycleValue);

  // The user aircraft as the simulator link last stored it and the engine's copy.
  void setUser(double latitude, double longitude, double altitude, bool onGround, double groundSpeed = 0.0,
               double headingRad = 0.0);

  // What the engine handed to the simulator link (taken: the queues are emptied).
  std::vector<AiCreationRecord> takeCreations();
  std::vector<std::uint32_t> takeRemovals();
  std::vector<ClientEventRecord> takeEvents();
  std::vector<PositionUpdateRecord> takeSentPositions();  // the send side of the buffers

  // In place of the simulator: an object for each queued creation (kind 0, or 1 for a static
  // aircraft; height above ground as given), returned in order; the creations are taken.
  std::vector<std::uint32_t> createObjects(double heightAboveGround = 0.0);
  // Removal answers (kind 2) for each queued removal; returns the ids.
  std::vector<std::uint32_t> confirmRemovals();

  std::string log() const;
  bool logHas(std::string_view part) const;
  FakeClock& clock() { return *clock_; }
  fakesim::FakeSim* sim() { return sim_.get(); }

 private:
  HarnessOptions options_;
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<FakeClock> clock_;
  std::unique_ptr<fakesim::FakeSim> sim_;
  SimConnection* connection_ = nullptr;
  std::uint32_t nextObjectId_ = 1000;
};

// A live aircraft put straight into the table in a given state, with one sample at its
// position due 1000 cycles from now (object id indexed).
LiveAc& addLiveAc(std::uint32_t hexid, const std::string& callsign, std::string_view model, SimState state,
                  std::uint32_t objectId = 0, double latitude = 52.3, double longitude = 4.8,
                  double altitude = 0.0);
// A static aircraft at a stand of standTable (or nowhere for stand 0).
AcBase& addStaticAc(std::uint32_t hexid, const std::string& callsign, std::int32_t standId, SimState state,
                    std::uint32_t objectId = 0);
// A sample at a position, due at the given cycle.
PositionSample sampleAt(double latitude, double longitude, double altitude, double groundSpeed,
                        std::int64_t dueCycle, double track = 0.0);

// Reference models of the harness: B738 and A320 (Large), B744 (Heavy), C172 (Light),
// C25A (Buzjets), F16 (HighPerf), EC35 (Rotorcraft).
void installReferenceModels();

}  // namespace wdrx::testing
