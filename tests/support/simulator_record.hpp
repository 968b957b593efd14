#pragma once
// What the standalone fake simulator received, read back from the lines it printed: the
// end-to-end tests of both systems judge the program's aircraft by it.
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace wdrx::testing {

struct SimulatorRecord {
  static constexpr int movedUpdates = 30;  // at least a second of frames

  int creations = 0;
  std::map<std::string, int> positions;  // object id -> position updates (definition 402)
  std::set<std::string> removed;         // object ids

  static SimulatorRecord read(const std::filesystem::path& file) {
    SimulatorRecord record;
    std::ifstream in(file);
    static const std::regex positionLine(R"(^SetDataOnSimObject .* define=402 object=(\d+) )");
    static const std::regex removalLine(R"(^AIRemoveObject .* object=(\d+) )");
    std::smatch match;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("AICreateNonATCAircraft ", 0) == 0) ++record.creations;
      if (std::regex_search(line, match, positionLine)) ++record.positions[match[1]];
      if (std::regex_search(line, match, removalLine)) record.removed.insert(match[1]);
    }
    return record;
  }
  // Aircraft that moved for at least a second of frames.
  int moving() const {
    int count = 0;
    for (const auto& [object, updates] : positions) count += updates >= movedUpdates ? 1 : 0;
    return count;
  }
  // Every created aircraft moved and was removed afterwards.
  bool complete(int aircraft) const {
    if (creations < aircraft || static_cast<int>(removed.size()) < aircraft) return false;
    for (const std::string& object : removed) {
      const auto moved = positions.find(object);
      if (moved == positions.end() || moved->second < movedUpdates) return false;
    }
    return true;
  }
};

}  // namespace wdrx::testing
