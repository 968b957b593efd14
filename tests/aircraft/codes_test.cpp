// Interning of airline and model codes, model-code fixes and categories.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "refdata_fixture.hpp"

using namespace refdata_test;

namespace {
class CodesTest : public RefdataTest, public ::testing::Test {};
}  // namespace

TEST_F(CodesTest, EmptyCodeIsZeroAndIdsAreStableAndCaseSensitive) {
  DbaseXml().write();
  ASSERT_TRUE(gf_readDbase());
  EXPECT_EQ(gf_modelId(""), 0);
  EXPECT_EQ(gf_airlineId(""), 0);
  std::uint16_t id = gf_modelId("ZZ99");
  EXPECT_EQ(id, modelCodes.size() - 1);
  EXPECT_EQ(gf_modelId("ZZ99"), id);
  EXPECT_NE(gf_modelId("zz99"), id);
  EXPECT_EQ(modelCodes[id], "ZZ99");
  EXPECT_EQ(modelCodes[60000], "");  // beyond the table: no text
  EXPECT_EQ(airlineCodes.text(gf_airlineId("KLM")), "KLM");
}

TEST_F(CodesTest, ConcurrentCallersGetOneIdPerCode) {
  constexpr int threads = 8;
  constexpr int codes = 3000;
  std::vector<std::string> texts;
  for (int i = 0; i < codes; ++i) texts.push_back("M" + std::to_string(i));
  std::vector<std::vector<std::uint16_t>> ids(threads, std::vector<std::uint16_t>(codes));
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      std::vector<int> order(codes);
      for (int i = 0; i < codes; ++i) order[i] = i;
      std::shuffle(order.begin(), order.end(), std::mt19937(t));
      for (int i : order) {
        ids[t][i] = (t % 2) ? gf_modelId(texts[i]) : gf_airlineId(texts[i]);
        // A reader by id never sees a half-written slot.
        const CodeTable& table = (t % 2) ? modelCodes : airlineCodes;
        EXPECT_EQ(table[ids[t][i]], texts[i]);
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(modelCodes.size(), static_cast<std::size_t>(codes));
  EXPECT_EQ(airlineCodes.size(), static_cast<std::size_t>(codes));
  for (int t = 2; t < threads; ++t) EXPECT_EQ(ids[t], ids[t % 2]);
  std::vector<std::uint16_t> sorted = ids[1];
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST_F(CodesTest, FixesApplyOnlyWhileActive) {
  modelCodeFixes.emplace("B73Z", "B738");
  modelCodeFixes.emplace("B73W", "B738");
  modelCodeFixes.emplace("B73V", "A999");
  std::uint16_t correct = gf_modelId("B738");
  std::uint16_t early = gf_modelId("B73Z");  // fixes not active yet: a code of its own
  EXPECT_NE(early, correct);
  EXPECT_EQ(modelCodes[early], "B73Z");

  modelFixesActive = true;
  EXPECT_EQ(gf_modelId("B73Z"), early);  // already interned: keeps its id
  std::size_t size = modelCodes.size();
  EXPECT_EQ(gf_modelId("B73W"), correct);
  EXPECT_EQ(gf_modelId("B73W"), correct);
  EXPECT_EQ(modelCodes.size(), size);  // the wrong code is not added
  std::uint16_t unfixed = gf_modelId("B73V");  // its correct code has no id: appended as is
  EXPECT_EQ(modelCodes[unfixed], "B73V");
  EXPECT_EQ(gf_modelCodeCategory("B73W"), AcCategory::Light);
}

TEST_F(CodesTest, CategoryOrderAndMembership) {
  // Model 10 + k stands in the k-th set of the order and in every later one: the first decides.
  const std::vector<std::pair<std::set<std::uint16_t>*, AcCategory>> order{
      {&largeModels, AcCategory::Large},           {&heavyModels, AcCategory::Heavy},
      {&buzjetModels, AcCategory::Buzjets},        {&rotorcraftModels, AcCategory::Rotorcraft},
      {&highPerfModels, AcCategory::HighPerf}};
  for (std::uint16_t k = 0; k < order.size(); ++k)
    for (std::size_t j = k; j < order.size(); ++j) order[j].first->insert(10 + k);
  for (std::uint16_t k = 0; k < order.size(); ++k)
    EXPECT_EQ(gf_modelCategory(10 + k), order[k].second) << gf_acCategoryName(order[k].second);
  EXPECT_EQ(gf_modelCategory(0), AcCategory::Light);
  EXPECT_EQ(gf_modelCategory(99), AcCategory::Light);

  knownModelCodes = {"", "A320"};
  icaoAirlineCodes = {"", "KLM"};
  EXPECT_FALSE(gf_isKnownModel(""));
  EXPECT_FALSE(lf_isIcaoAirline(""));
  EXPECT_TRUE(gf_isKnownModel("A320"));
  EXPECT_FALSE(gf_isKnownModel("a320"));
  EXPECT_TRUE(lf_isIcaoAirline("KLM"));
}

TEST_F(CodesTest, FullTableGivesIdZeroWithOneLogLine) {
  CodeTable table("gf_test");
  EXPECT_EQ(table.intern(""), 0);
  for (std::size_t i = 1; i < CodeTable::capacity; ++i) ASSERT_EQ(table.intern(std::to_string(i)), i);
  EXPECT_EQ(table.intern("65535"), 65535);
  EXPECT_EQ(table.intern("new1"), 0);
  EXPECT_EQ(table.intern("new2"), 0);
  EXPECT_EQ(table.size(), CodeTable::capacity);
  EXPECT_EQ(table[0], "");
  EXPECT_EQ(table[65535], "65535");
  auto lines = logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "==> gf_test: table full (65536 codes), 'new1' and every later new code get id 0");
}
