#pragma once
// Every test of a binary starts from the state of a fresh process, whatever ran before it in the
// same process: a test file registers the resets of the layers its binary uses, e.g.
//   const bool fresh = wdrx::testing::resetBeforeEachTest([] { wdrx::testing::resetRunControl(); });
#include <gtest/gtest.h>

namespace wdrx::testing {

class ResetBeforeEachTest : public ::testing::EmptyTestEventListener {
 public:
  explicit ResetBeforeEachTest(void (*reset)()) : reset_(reset) {}
  void OnTestStart(const ::testing::TestInfo&) override { reset_(); }

 private:
  void (*reset_)();
};

// Installs the reset (during static initialisation, before the tests run); gtest owns it.
inline bool resetBeforeEachTest(void (*reset)()) {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ResetBeforeEachTest(reset));
  return true;
}

}  // namespace wdrx::testing
