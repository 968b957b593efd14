#pragma once
// Fixtures of the reference-data tests: a small dbase XML with every required section, written
// encrypted with the test key, and the log of the test's working folder.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "foundation/log.hpp"
#include "support/temp_dir.hpp"

namespace refdata_test {

// Encrypts the text into the file (creating its folder).
void writeEncrypted(const std::filesystem::path& path, const std::string& plain);

// Opens Log.txt in the working folder; logLines() closes it and returns its lines after the
// header line.
void openLog();
std::vector<std::string> logLines();

struct DbaseXml {
  // Section name -> inner XML, written in this order below <root>.
  std::vector<std::pair<std::string, std::string>> sections{
      {"aircrafts", R"(<aircraft types="B738,A320"/><aircraft types="B744,C172,EC35"/>)"},
      {"cargo_types", R"(<cargo_type types="B74F,B738"/>)"},
      {"heavy", R"(<hvy types="B744"/>)"},
      {"large", R"(<lar types="A320,B738"/>)"},
      {"buzjet", R"(<bzj types="C25A"/>)"},
      {"high_performance", R"(<hpf types="F16"/>)"},
      {"rotorcraft", R"(<rot types="EC35"/>)"},
      {"ICAO_airlines", R"(<ICAO codes="KLM,DLH"/>)"},
      {"cargo_operators", R"(<ICAO codes="FDX,DLH"/>)"},
      {"simaddonsP3D", R"(<simaddonP3D arpts="EHAM,LOWI"/>)"},
  };
  std::string rootName = "root";

  DbaseXml& set(const std::string& name, const std::string& inner);  // replaces or appends
  DbaseXml& remove(const std::string& name);
  std::string text() const;
  void write() const;  // input/dbase.enc
};

// A working folder with the log open.
class RefdataTest {
 protected:
  wdrx::testing::TempDir dir;
  RefdataTest() { openLog(); }
  // A log left open would catch the next test's lines in this test's folder.
  ~RefdataTest() { wdrx::testing::closeLog(); }
};

}  // namespace refdata_test
