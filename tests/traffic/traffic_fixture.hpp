#pragma once
// A fresh working folder with Log.txt open, the link state back at its start values, and
// helpers to read the log and to wait for a condition with a deadline.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

class UdpReader;

namespace wdrx::testing {

class TrafficFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Log.txt without its header line.
  std::vector<std::string> logLines();
  bool logHas(const std::string& line);
  bool logHasPart(const std::string& text);  // a line that contains the text

  TempDir dir_;
};

// Hands one datagram to the reader's handler as its thread does.
void feedDatagram(UdpReader& reader, const std::string& datagram);

// Polls `condition` every 5 ms until it holds or `timeout` passes.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace wdrx::testing
