#pragma once
// Registration-code files: the user's input/my_regcodes/*.TXT and the AIG file
// input/AIG-regcodes.xml (decrypted from AIG-regcodes.enc), and the don't-use titles.
#include <filesystem>
#include <string>
#include <vector>

struct RegcodeRecord {
  std::string title;
  std::vector<std::string> regcodes;  // empty: a livery never to be used
  bool special = false;               // only for the listed registrations
};

// Titles of liveries never to be used; filled at the start of a livery scan, read by the
// scanner threads, emptied after the scan.
extern std::vector<std::string> dontUseTitles;

bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeRecord>& records);
bool gf_readAigRegcodes(std::vector<RegcodeRecord>& records);
void lf_readDontUseTitles();
void lf_readDontUseTitlesFromFile();
void lf_readDontUseTitlesFromFolder();
