#pragma once
// Whole flights through the engine: a path flown by a real aircraft is turned into the reports
// the traffic service would send (every few seconds, with jitter and gaps), and a small world
// plays the simulator around the engine (objects created and removed, static centre of gravity,
// aircraft-in-range answers on flat ground). Every position the engine hands over is checked
// against the invariants of realistic motion, cycle by cycle.
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/engine_harness.hpp"
#include "records/records.hpp"
#include "simlink/sim_queues.hpp"

namespace wdrx::testing {

// The park airport EHAM at a position and field elevation (feet), its file read; and gone.
void setParkAirport(double latitude, double longitude, double fieldFt);
void clearParkAirport();

// One second of a real flight.
struct PathPoint {
  double t = 0.0;  // seconds from the start of the path
  double latitude = 0.0, longitude = 0.0;
  double altitude = 0.0;  // feet above sea level; on the ground: the ground's
  double groundSpeed = 0.0;
  double track = 0.0;  // degrees of the nose (the way the service reports it)
  double verticalSpeed = 0.0;
  bool onGround = false;
};

// Builds a path leg by leg, one point per second.
class PathBuilder {
 public:
  PathBuilder(double latitude, double longitude, double altitude, double track, double speed, bool onGround);
  // Moves for the seconds, the speed changing evenly to endSpeed, the altitude to endAltitude,
  // the track turning evenly by turn degrees. Backward: the aircraft moves tail first.
  PathBuilder& leg(double seconds, double endSpeed, double endAltitude, double turn = 0.0, bool backward = false);
  PathBuilder& stand(double seconds);  // stands still
  PathBuilder& onGround(bool value);
  const std::vector<PathPoint>& points() const { return points_; }
  const PathPoint& last() const { return points_.back(); }

 private:
  std::vector<PathPoint> points_;
  bool onGround_;
};

struct ReportPlan {
  double every = 4.0;    // seconds between reports
  double jitter = 1.0;   // plus or minus, seconds
  double gapEvery = 60.0;  // a gap of gapLength seconds about this often (0: none)
  double gapLength = 12.0;
  double stopAfter = 1e18;  // no report after this time of the path
};

// What one aircraft did, as seen in the position stream.
struct FlightLog {
  std::vector<std::string> phases;  // distinct phases in order ("flying", "approach", "flare1" ...)
  std::vector<double> phaseHeadings;  // radians, the heading when each phase began
  std::vector<std::int64_t> phaseCycles;  // the engine cycle when each phase began
  std::int64_t cycles = 0;          // cycles with a position
  std::int64_t catchUpCycles = 0;   // cycles faster than the speed bound
  std::int64_t catchUpLegs = 0;
  std::vector<std::string> violations;  // invariant breaches (the first few)
  std::vector<ClientEventRecord> events;
  PositionUpdateRecord lastSent;
  bool removed = false;
  std::uint32_t objectId = 0;
  bool hasPhase(const std::string& phase) const;
  // The phases appear in this order (others may stand between them).
  bool phasesInOrder(const std::vector<std::string>& wanted) const;
  std::int64_t phaseCycle(const std::string& phase) const;  // when it first began; -1: never
  std::vector<std::uint32_t> eventValues(std::uint32_t eventId) const;
};

class World {
 public:
  explicit World(EngineHarness& h, double groundFt = 0.0);

  double ground = 0.0;           // feet, flat
  double staticHeight = 8.0;     // feet, reported for every object
  double staticPitch = 0.00873;  // radians (0.5 degree), reported for every object

  // Reports of the path for an aircraft, starting now.
  void schedule(std::uint32_t hexid, const std::string& callsign, const std::string& model,
                const std::vector<PathPoint>& path, const ReportPlan& plan, std::uint32_t seed = 7);
  // A report of one point now.
  void reportNow(std::uint32_t hexid, const std::string& callsign, const std::string& model, const PathPoint& p);

  void run(std::int64_t cycles);
  void runUntil(const std::function<bool()>& done, std::int64_t maxCycles);

  FlightLog& log(std::uint32_t hexid) { return logs_[hexid]; }
  const LiveAc* aircraft(std::uint32_t hexid) const { return gf_findLiveAc(hexid); }

 private:
  struct Scheduled {
    std::int64_t cycle;
    std::uint32_t hexid;
    std::string callsign;
    std::string model;
    PathPoint point;
  };
  void step();
  void answerSimulator();
  void check(const PositionUpdateRecord& r);
  void notePhase(std::uint32_t hexid);
  double reportedSpeedNear(std::uint32_t hexid, std::int64_t cycle) const;

  EngineHarness& h_;
  std::vector<Scheduled> pending_;
  std::map<std::uint32_t, FlightLog> logs_;
  std::map<std::uint32_t, std::uint32_t> hexidOf_;  // object id -> hexid
  std::map<std::uint32_t, PositionUpdateRecord> previous_;
  std::map<std::uint32_t, bool> previousOnGround_;
  std::map<std::uint32_t, bool> fastLeg_;
  // Reported speeds by hexid and due cycle.
  std::map<std::uint32_t, std::map<std::int64_t, double>> reportedSpeeds_;
  double baseTime_ = 1'700'000'000.0;
  std::uint32_t nextObjectId_ = 5000;
};

}  // namespace wdrx::testing
