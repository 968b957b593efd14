// The shell's own work on the engine's tables that the program wiring binds.
#include "app/program_wiring.hpp"

#include <gtest/gtest.h>

#include "engine/engine.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_tables.hpp"
#include "records/records.hpp"
#include "shell_fixture.hpp"
#include "simlink/user_aircraft.hpp"

namespace shell_test {
namespace {

class Wiring : public ShellTest {
 protected:
  Wiring() { resetTables(); }
  ~Wiring() override { resetTables(); }
  static void resetTables() {
    gf_clearAcTables();
    parkedAcQueue.clear();
    approachList.clear();
  }
  static LiveAc& addLive(std::uint32_t hexid, const std::string& callsign, SimState state) {
    LiveAc ac;
    ac.hexid = hexid;
    ac.callsign = callsign;
    ac.simState = state;
    ac.objectId = state == SimState::active ? hexid : 0;
    return gf_appendLiveAc(std::move(ac));
  }
};

TEST_F(Wiring, OneQueuedAircraftASecondLearnsItsStandOnce) {
  addLive(20001, "KLM1", SimState::active);
  parkedAcQueue = {20001, 20002, 20001};  // 20002 is gone meanwhile
  approachList = {20001, 20003};
  lf_takeQueuedAircraft(0);
  EXPECT_EQ(gf_findLiveAc(20001)->standOptionMatched, 1);
  EXPECT_EQ(parkedAcQueue.size(), 2u);
  EXPECT_EQ(approachList.size(), 1u);
  lf_takeQueuedAircraft(0);  // an aircraft not in the table costs its entry only
  EXPECT_EQ(parkedAcQueue.size(), 1u);
  EXPECT_TRUE(approachList.empty());
  gf_findLiveAc(20001)->standOptionMatched = 7;  // a second entry does not learn again
  lf_takeQueuedAircraft(0);
  EXPECT_EQ(gf_findLiveAc(20001)->standOptionMatched, 7);
  EXPECT_TRUE(parkedAcQueue.empty());
  lf_takeQueuedAircraft(0);  // empty queues: nothing
}

TEST_F(Wiring, TheBlockedCallsignRemovesTheFirstActiveAircraftOnly) {
  addLive(20001, "DLH4", SimState::buffer);
  addLive(20002, "DLH4", SimState::active);
  addLive(20003, "DLH4", SimState::active);
  lf_removeBlockedCallsign("DLH4");
  EXPECT_EQ(gf_findLiveAc(20001)->simState, SimState::buffer);
  EXPECT_EQ(gf_findLiveAc(20002)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findLiveAc(20003)->simState, SimState::active);
  lf_removeBlockedCallsign("BAW1");
  EXPECT_EQ(gf_findLiveAc(20003)->simState, SimState::active);
}

TEST_F(Wiring, TheEngineResetAlsoEmptiesTheStandsTheSimulatorThreadSees) {
  standTable.emplace_back(std::vector<StandOption>{}, "G3", StandPosition{52.31, 4.76, 0.0}, 20.0, 0,
                          false, false, false);
  gf_publishStandPositions();
  userOnGround.onGround.store(true);
  EXPECT_EQ(gf_nearestStandName(52.31, 4.76), "G3");
  gf_resetEngineTables();
  EXPECT_EQ(gf_nearestStandName(52.31, 4.76), "");  // no stand of the last run is named
  userOnGround.onGround.store(false);
}

}  // namespace
}  // namespace shell_test
