// The engine's records: builders, stand types, text forms, the sample queue and the tables'
// indexes.
#include "records/records.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

#include "aircraft/reference_db.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/random.hpp"
#include "records/category_tables.hpp"
#include "records/engine_tables.hpp"
#include "records/record_texts.hpp"

namespace {

AcIdentity identity(std::string_view model, std::string callsign = "KLM1234") {
  AcIdentity id;
  id.codes.modelId = gf_modelId(model);
  id.callsign = std::move(callsign);
  return id;
}

LiveAc liveAc(std::uint32_t hexid, std::uint32_t objectId = 0) {
  AcBase base = gf_buildRecord(identity("B738"));
  base.hexid = hexid;
  LiveAc ac(std::move(base), PositionSample{}, 0.0);
  ac.objectId = objectId;
  return ac;
}

AcBase staticAc(std::uint32_t hexid) {
  AcBase ac = gf_makeStaticAc(gf_buildRecord(identity("A320", "S*")), 3, 1.0, 2.0, 0.5, 0);
  ac.hexid = hexid;
  return ac;
}

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_clearAcTables();
    largeModels.insert(gf_modelId("B738"));
    heavyModels.insert(gf_modelId("B744"));
    rotorcraftModels.insert(gf_modelId("EC35"));
    lf_fillWingspan("B738", 0.0097);
    maxHalfWingSpan = 0.0432;
  }
  void TearDown() override { gf_clearAcTables(); }
};

}  // namespace

TEST(StandFitsCategory, EveryStandTypeAgainstEveryCategory) {
  // Bits in category order Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft.
  const char* expected[] = {"000000", "100000", "100000", "110010", "011000", "001100",
                            "001100", "000010", "011000", "001000", "000100", "100001",
                            "111111", "000000", "100010", "001100"};
  for (int type = -1; type <= 16; ++type) {
    for (int c = 0; c < 6; ++c) {
      const bool want = type >= 0 && type <= 15 && expected[type][c] == '1';
      EXPECT_EQ(gf_standFitsCategory(type, static_cast<AcCategory>(c)), want)
          << "type " << type << " category " << c;
    }
  }
  EXPECT_FALSE(gf_standFitsCategory(12, static_cast<AcCategory>(6)));
}

TEST_F(RecordsTest, BuilderFillsPerCategoryValues) {
  gf_seedRandomEngine(7);
  struct Case {
    const char* model;
    AcCategory category;
    double turnDeg, takeOffDeg, climbOutDeg;
    std::int32_t c1, c2, c3, c4;
  };
  const Case cases[] = {
      {"B738", AcCategory::Large, 0.07, -6.0, -16.5, 400, 350, 200, 300},
      {"B744", AcCategory::Heavy, 0.05, -5.0, -12.5, 450, 450, 250, 400},
      {"EC35", AcCategory::Rotorcraft, 0.20, -20.0, -30.0, 100, 100, 100, 100},
      {"ZZZZ", AcCategory::Light, 0.15, -9.0, -15.0, 250, 250, 100, 200},  // no category entry
  };
  for (const Case& c : cases) {
    const AcBase ac = gf_buildRecord(identity(c.model));
    EXPECT_EQ(ac.category, c.category) << c.model;
    EXPECT_DOUBLE_EQ(ac.groundTurnRate, c.turnDeg * degToRad) << c.model;
    EXPECT_NEAR(ac.takeOffPitch, c.takeOffDeg * degToRad, std::fabs(c.takeOffDeg) * 0.0251 * degToRad);
    EXPECT_NEAR(ac.climbOutPitch, c.climbOutDeg * degToRad, std::fabs(c.climbOutDeg) * 0.0501 * degToRad);
    EXPECT_NE(ac.takeOffPitch, c.takeOffDeg * degToRad) << "randomised";
    EXPECT_EQ(std::vector<std::int32_t>({ac.flareCycles, ac.touchdownCycles, ac.rotationCycles,
                                         ac.climbOutCycles}),
              std::vector<std::int32_t>({c.c1, c.c2, c.c3, c.c4}))
        << c.model;
    EXPECT_EQ(ac.callsign, "KLM1234");
  }
  EXPECT_DOUBLE_EQ(gf_buildRecord(identity("B738")).radius, 0.0097);
  EXPECT_DOUBLE_EQ(gf_buildRecord(identity("B744")).radius, 0.0432) << "unknown span: the largest";
  EXPECT_THROW(gf_categoryValues(static_cast<AcCategory>(6)), std::out_of_range);
  EXPECT_DOUBLE_EQ(gf_categoryValues(AcCategory::HighPerf).climbLimit, 1.0);
  EXPECT_DOUBLE_EQ(gf_categoryValues(AcCategory::Heavy).groundSpeedStep, 3.0);
}

TEST_F(RecordsTest, FreshRecordsStartInTheirDefinedState) {
  PositionSample first;
  first.latitude = 52.0;
  first.dueCycle = 4000;
  AcBase base = gf_buildRecord(identity("B738"));
  base.hexid = 20000;
  base.objectId = 99;
  base.standId = 4;
  base.remove = 1;
  const LiveAc ac(std::move(base), first, 1234.5);
  EXPECT_EQ(ac.objectId, 0u);
  EXPECT_EQ(ac.standId, 0);
  EXPECT_EQ(ac.remove, 0);
  EXPECT_EQ(ac.simState, SimState::buffer);
  EXPECT_EQ(ac.flightState, FlightState::birth);
  EXPECT_EQ(ac.previousFlightState, FlightState::birth);
  EXPECT_EQ(ac.lastThrottle, 5u);
  EXPECT_EQ(ac.lastFlaps, 4u);
  EXPECT_EQ(ac.earlyWindow, 1000);
  EXPECT_EQ(ac.lateWindow, 1000);
  EXPECT_EQ(ac.flareCounter, 1);
  EXPECT_DOUBLE_EQ(ac.heightAboveGround, 2500.0);
  EXPECT_DOUBLE_EQ(ac.lastReportTime, 1234.5);
  EXPECT_FALSE(ac.curve.present());
  ASSERT_EQ(ac.samples.size(), 1u);
  EXPECT_EQ(ac.samples.front().dueCycle, 4000);

  const AcBase st = staticAc(17);
  EXPECT_EQ(st.standId, 3);
  EXPECT_DOUBLE_EQ(st.standHeading, 0.5);
  EXPECT_EQ(st.simState, SimState::buffer);
  EXPECT_EQ(st.lastThrottle, 5u);
  EXPECT_TRUE(st.isStatic());
  EXPECT_FALSE(ac.isStatic());
}

TEST_F(RecordsTest, FlightStateKeepsThePreviousOneOnChangeOnly) {
  LiveAc ac = liveAc(20000);
  ac.setFlightState(FlightState::taxi);
  ac.setFlightState(FlightState::taxi);
  EXPECT_EQ(ac.previousFlightState, FlightState::birth);
  ac.setFlightState(FlightState::take_off);
  EXPECT_EQ(ac.previousFlightState, FlightState::taxi);
  EXPECT_EQ(gf_flightStateName(FlightState::pushed_back), "pushed_back");
  EXPECT_EQ(gf_simStateName(SimState::removingfromsim), "removingfromsim");
  EXPECT_EQ(gf_simStateName(static_cast<SimState>(5)), "?");
}

TEST_F(RecordsTest, TextFormsOfARecord) {
  AcIdentity id = identity("B738");
  id.codes.airlineId = gf_airlineId("KLM");
  id.registration = "PH-BXA";
  id.origin = IataCode("AMS");
  id.destination = IataCode("LHR");
  EXPECT_EQ(gf_aimoText(id.codes), "KLM     B738    ");
  id.codes.operatorId = gf_airlineId("TRA");
  id.codes.fromDbase = 1;
  id.codes.cargo = 1;
  EXPECT_EQ(gf_aimoText(id.codes), "KLM,TRA B738.(C)");
  EXPECT_EQ(gf_routeText(id), "AMS->LHR");
  EXPECT_EQ(gf_acRouteText(id), "KLM1234  PH-BXA       AMS->LHR");
  EXPECT_EQ(gf_acIdentText(id), "KLM,TRA B738.(C) KLM1234  PH-BXA       AMS->LHR");
  EXPECT_EQ(gf_acShortText(id), "KLM1234  PH-BXA KLM,TRA B738.(C)");
  EXPECT_EQ(gf_unmatchedKey(id), "KLM,TRA B738.(C) PH-BXA");
  id.origin = IataCode();
  EXPECT_EQ(gf_routeText(id), "   ->LHR");
  id.destination = IataCode();
  EXPECT_EQ(gf_routeText(id), "        ");
}

TEST(SampleQueue, BehavesAsADoubleEndedQueue) {
  SampleQueue q;
  const auto sample = [](std::int64_t due) {
    PositionSample s;
    s.dueCycle = due;
    return s;
  };
  const auto dues = [&q] {
    std::vector<std::int64_t> out;
    for (const auto& s : q) out.push_back(s.dueCycle);
    return out;
  };
  for (int i = 1; i <= 5; ++i) q.push_back(sample(i));
  q.pop_front();
  q.pop_front();
  EXPECT_EQ(dues(), (std::vector<std::int64_t>{3, 4, 5}));
  q.push_front(sample(2));
  EXPECT_EQ(q.front().dueCycle, 2);
  q.insert(q.begin() + 1, sample(9));
  EXPECT_EQ(dues(), (std::vector<std::int64_t>{2, 9, 3, 4, 5}));
  q.erase(q.begin() + 1, q.begin() + 3);
  EXPECT_EQ(dues(), (std::vector<std::int64_t>{2, 4, 5}));
  q.truncate(1);
  EXPECT_EQ(dues(), (std::vector<std::int64_t>{2}));
  q.pop_back();
  EXPECT_TRUE(q.empty());
  q.push_front(sample(7));
  EXPECT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].dueCycle, 7);
  // Steady pushes and pops reuse the storage.
  for (int i = 0; i < 1000; ++i) {
    q.push_back(sample(i));
    q.pop_front();
  }
  EXPECT_EQ(q.size(), 1u);
  EXPECT_EQ(q.back().dueCycle, 999);
}

TEST_F(RecordsTest, TablesFindRecordsByHexidAndObjectIdThroughCompaction) {
  for (std::uint32_t i = 0; i < 50; ++i) gf_appendLiveAc(liveAc(20000 + i, i % 2 ? 500 + i : 0));
  ASSERT_NE(gf_findLiveAc(20017), nullptr);
  EXPECT_EQ(gf_findLiveAc(20017)->hexid, 20017u);
  EXPECT_EQ(gf_findLiveAcByObjectId(517)->hexid, 20017u);
  EXPECT_EQ(gf_findLiveAcByObjectId(516), nullptr);
  EXPECT_EQ(gf_findLiveAcByObjectId(0), nullptr) << "object id 0 is no object";
  EXPECT_EQ(gf_findLiveAc(30000), nullptr);

  gf_findLiveAc(20003)->remove = 1;
  gf_findLiveAc(20004)->removed = 1;
  gf_compactLiveAcTable();
  EXPECT_EQ(liveAcTable.size(), 48u);
  EXPECT_EQ(liveAcTable[3].hexid, 20005u) << "order kept";
  EXPECT_EQ(gf_findLiveAc(20003), nullptr);
  EXPECT_EQ(gf_findLiveAcByObjectId(503), nullptr);
  EXPECT_EQ(gf_findLiveAcByObjectId(549)->hexid, 20049u);

  lf_eraseLiveAc(0);
  EXPECT_EQ(liveAcTable[0].hexid, 20049u) << "the last record takes the place";
  EXPECT_EQ(gf_findLiveAc(20000), nullptr);
  EXPECT_EQ(gf_findLiveAc(20049), &liveAcTable[0]);

  // An object id set later is found once announced; a changed one is not found by its old id.
  LiveAc* ac = gf_findLiveAc(20010);
  ac->objectId = 777;
  gf_indexObjectId(*ac);
  EXPECT_EQ(gf_findLiveAcByObjectId(777), ac);
  ac->objectId = 0;
  EXPECT_EQ(gf_findLiveAcByObjectId(777), nullptr);

  // A record pushed directly is still found.
  liveAcTable.push_back(liveAc(40000));
  EXPECT_EQ(gf_findLiveAc(40000), &liveAcTable.back());
}

TEST_F(RecordsTest, StaticTableLeavesOnlyByTheRemovedByte) {
  gf_appendStaticAc(staticAc(1));
  gf_appendStaticAc(staticAc(2));
  gf_appendStaticAc(staticAc(3));
  gf_findStaticAc(1)->remove = 1;
  gf_findStaticAc(2)->removed = 1;
  gf_compactStaticAcTable();
  ASSERT_EQ(staticAcTable.size(), 2u);
  EXPECT_NE(gf_findStaticAc(1), nullptr);
  EXPECT_EQ(gf_findStaticAc(2), nullptr);
  EXPECT_EQ(gf_findStaticAc(3)->hexid, 3u);
}

TEST_F(RecordsTest, StaticHexidsWrapWithoutColliding) {
  staticHexCounter = 9997;
  gf_appendStaticAc(staticAc(9999));
  gf_appendStaticAc(staticAc(0));
  gf_appendStaticAc(staticAc(2));
  EXPECT_EQ(gf_nextStaticHexid(), 9998u);
  EXPECT_EQ(gf_nextStaticHexid(), 1u) << "9999 is taken";
  EXPECT_EQ(gf_nextStaticHexid(), 3u);
  gf_clearAcTables();
  // 0 is never handed out: the simulator's answers about a creation name no hexid 0.
  staticHexCounter = 9999;
  EXPECT_EQ(gf_nextStaticHexid(), 1u);
}

TEST_F(RecordsTest, IndexesStayRightThroughManyErasuresAndAppends) {
  // Random appends, erasures, object ids and compactions against a plain search of the table,
  // with the table kept near 500 records so that the index's probe chains collide.
  std::mt19937 random(7);
  const auto pick = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  std::vector<std::uint32_t> used;
  const auto check = [&](std::uint32_t hexid, int step) {
    const auto byHexid = std::find_if(liveAcTable.begin(), liveAcTable.end(),
                                      [hexid](const LiveAc& ac) { return ac.hexid == hexid; });
    ASSERT_EQ(gf_findLiveAc(hexid), byHexid == liveAcTable.end() ? nullptr : &*byHexid) << step;
    for (const std::uint32_t objectId : {hexid + 1, hexid + 2}) {
      const auto byObject = std::find_if(liveAcTable.begin(), liveAcTable.end(),
                                         [objectId](const LiveAc& ac) { return ac.objectId == objectId; });
      ASSERT_EQ(gf_findLiveAcByObjectId(objectId), byObject == liveAcTable.end() ? nullptr : &*byObject) << step;
    }
  };
  for (int step = 0; step < 6000; ++step) {
    const std::size_t action = pick(10);
    if (liveAcTable.size() < 450 || (action < 4 && liveAcTable.size() < 520)) {
      const std::uint32_t hexid = 20000 + static_cast<std::uint32_t>(pick(1u << 20)) * 4;
      if (gf_findLiveAc(hexid) != nullptr) continue;
      gf_appendLiveAc(liveAc(hexid, hexid % 3 == 0 ? 0 : hexid + 1));
      used.push_back(hexid);
    } else if (action < 8) {
      lf_eraseLiveAc(pick(liveAcTable.size()));
    } else if (action < 9) {
      LiveAc& ac = liveAcTable[pick(liveAcTable.size())];
      ac.objectId = ac.objectId == 0 ? ac.hexid + 2 : 0;
      gf_indexObjectId(ac);
    } else {
      liveAcTable[pick(liveAcTable.size())].remove = 1;
      gf_compactLiveAcTable();
    }
    check(used[pick(used.size())], step);
    if (HasFatalFailure()) return;
  }
  for (const std::uint32_t hexid : used) check(hexid, -1);
}

TEST_F(RecordsTest, AProbeChainThatWrapsSurvivesAnErasure) {
  // Hexids whose home slots are the index's last two (for a table of 1024, 2048 or 4096 slots):
  // the second one with the last slot as its home wraps to slot 0.
  const auto home = [](std::uint32_t key) { return ((key * 0x9E3779B1u) >> 7) & 4095u; };
  std::vector<std::uint32_t> lastButOne, last;
  for (std::uint32_t key = 20000; lastButOne.empty() || last.size() < 2; ++key) {
    if (home(key) == 4094u && lastButOne.empty()) lastButOne.push_back(key);
    if (home(key) == 4095u && last.size() < 2) last.push_back(key);
  }
  gf_appendLiveAc(liveAc(lastButOne[0]));
  gf_appendLiveAc(liveAc(last[0]));
  gf_appendLiveAc(liveAc(last[1]));
  gf_appendLiveAc(liveAc(30001));  // the last record, moved into the erased one's place
  lf_eraseLiveAc(0);
  EXPECT_EQ(gf_findLiveAc(30001), &liveAcTable[0]);
  ASSERT_NE(gf_findLiveAc(last[0]), nullptr);
  ASSERT_NE(gf_findLiveAc(last[1]), nullptr);
  EXPECT_EQ(gf_findLiveAc(last[1])->hexid, last[1]);
  EXPECT_EQ(gf_findLiveAc(lastButOne[0]), nullptr);
}
