// The world around the engine for whole flights: paths, reports and the simulator's answers,
// and the invariants checked on every position handed over.
#include "engine/movement_world.hpp"

#include <algorithm>
#include <cmath>

#include "airports/park_airport_state.hpp"
#include "engine/engine.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "parking/apf_state.hpp"
#include "records/category_tables.hpp"
#include "records/engine_cycle.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_results.hpp"

namespace wdrx::testing {

namespace {
constexpr double feetPerSecondPerKnot = 6076.11549 / 3600.0;
constexpr double pi = 3.141592653589793;

double lf_normalizeDeg(double d) {
  d = std::fmod(d, 360.0);
  return d < 0.0 ? d + 360.0 : d;
}
}  // namespace

void setParkAirport(double latitude, double longitude, double fieldFt) {
  Airport airport;
  airport.icao = IcaoCode("EHAM");
  airport.iata = IataCode("AMS");
  airport.latitude = latitude;
  airport.longitude = longitude;
  airport.altitude = static_cast<float>(fieldFt);
  parkAirport.store(airport);
  parkAirportCode.store(airport.icao);
  parkAirportElevation = fieldFt;
  learnedDirty.store(true);
}

void clearParkAirport() {
  learnedDirty.store(false);
  parkAirportElevation.reset();
}

// ---------------------------------------------------------------------------------------------
// Paths

PathBuilder::PathBuilder(double latitude, double longitude, double altitude, double track, double speed,
                         bool onGround)
    : onGround_(onGround) {
  points_.push_back({0.0, latitude, longitude, altitude, speed, lf_normalizeDeg(track), 0.0, onGround});
}

PathBuilder& PathBuilder::leg(double seconds, double endSpeed, double endAltitude, double turn, bool backward) {
  const PathPoint start = points_.back();
  const int n = std::max(1, static_cast<int>(std::lround(seconds)));
  const double vs = (endAltitude - start.altitude) / n * 60.0;
  PathPoint p = start;
  for (int i = 1; i <= n; ++i) {
    const double f = static_cast<double>(i) / n;
    const double speed = start.groundSpeed + (endSpeed - start.groundSpeed) * f;
    const double mean = (p.groundSpeed + speed) / 2.0;
    const double track = lf_normalizeDeg(start.track + turn * f);
    const double along = lf_normalizeDeg(p.track + turn / n / 2.0);
    const double direction = backward ? along + 180.0 : along;
    const LatLon to = gf_destinationPoint({p.latitude, p.longitude}, direction * degToRad, mean * feetPerSecondPerKnot);
    p.t = start.t + i;
    p.latitude = to.lat;
    p.longitude = to.lon;
    p.altitude = start.altitude + (endAltitude - start.altitude) * f;
    p.groundSpeed = speed;
    p.track = track;
    p.verticalSpeed = vs;
    p.onGround = onGround_;
    points_.push_back(p);
  }
  return *this;
}

PathBuilder& PathBuilder::stand(double seconds) {
  PathPoint p = points_.back();
  p.groundSpeed = 0.0;
  p.verticalSpeed = 0.0;
  for (int i = 1; i <= static_cast<int>(std::lround(seconds)); ++i) {
    p.t += 1.0;
    points_.push_back(p);
  }
  return *this;
}

PathBuilder& PathBuilder::onGround(bool value) {
  onGround_ = value;
  points_.back().onGround = value;
  return *this;
}

// ---------------------------------------------------------------------------------------------
// Flight logs

bool FlightLog::hasPhase(const std::string& phase) const {
  return std::find(phases.begin(), phases.end(), phase) != phases.end();
}

bool FlightLog::phasesInOrder(const std::vector<std::string>& wanted) const {
  auto at = phases.begin();
  for (const std::string& w : wanted) {
    at = std::find(at, phases.end(), w);
    if (at == phases.end()) return false;
  }
  return true;
}

std::int64_t FlightLog::phaseCycle(const std::string& phase) const {
  const auto at = std::find(phases.begin(), phases.end(), phase);
  return at == phases.end() ? -1 : phaseCycles[static_cast<std::size_t>(at - phases.begin())];
}

std::vector<std::uint32_t> FlightLog::eventValues(std::uint32_t eventId) const {
  std::vector<std::uint32_t> values;
  for (const ClientEventRecord& e : events)
    if (e.eventId == eventId) values.push_back(e.value);
  return values;
}

// ---------------------------------------------------------------------------------------------
// The world

World::World(EngineHarness& h, double groundFt) : ground(groundFt), h_(h) {}

void World::schedule(std::uint32_t hexid, const std::string& callsign, const std::string& model,
                     const std::vector<PathPoint>& path, const ReportPlan& plan, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-plan.jitter, plan.jitter);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::int64_t now = engineCycle.load();
  const double end = std::min(path.back().t, plan.stopAfter);
  for (double t = 0.0; t <= end;) {
    const auto index = static_cast<std::size_t>(std::clamp(std::lround(t), 0L, static_cast<long>(path.size() - 1)));
    pending_.push_back({now + static_cast<std::int64_t>(std::lround(t * 100.0)), hexid, callsign, model, path[index]});
    pending_.back().point.t = t;
    double next = plan.every + jitter(random);
    if (plan.gapEvery > 0.0 && unit(random) < plan.every / plan.gapEvery) next += plan.gapLength;
    t += std::max(next, 1.5);
  }
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Scheduled& a, const Scheduled& b) { return a.cycle < b.cycle; });
}

void World::reportNow(std::uint32_t hexid, const std::string& callsign, const std::string& model,
                      const PathPoint& p) {
  pending_.push_back({engineCycle.load(), hexid, callsign, model, p});
  pending_.back().point.t = (engineCycle.load() / 100.0);
}

void World::run(std::int64_t cycles) {
  for (std::int64_t i = 0; i < cycles; ++i) step();
}

void World::runUntil(const std::function<bool()>& done, std::int64_t maxCycles) {
  for (std::int64_t i = 0; i < maxCycles && !done(); ++i) step();
}

void World::step() {
  const std::int64_t now = engineCycle.load();
  while (!pending_.empty() && pending_.front().cycle <= now) {
    const Scheduled s = pending_.front();
    pending_.erase(pending_.begin());
    const PathPoint& p = s.point;
    LiveReport r = EngineHarness::report(s.hexid, s.callsign, s.model, p.latitude, p.longitude,
                                         p.onGround ? 0.0 : p.altitude, p.groundSpeed, p.track,
                                         baseTime_ + s.cycle / 100.0);
    r.sample.verticalSpeed = p.onGround ? 0.0 : p.verticalSpeed;
    reportedSpeeds_[s.hexid][r.sample.dueCycle] = p.groundSpeed;
    h_.push(std::move(r));
  }
  h_.cycle();
  for (const PositionUpdateRecord& r : h_.takeSentPositions()) check(r);
  for (const LiveAc& ac : liveAcTable) notePhase(ac.hexid);
  answerSimulator();
}

void World::answerSimulator() {
  const std::int64_t requested = engineCycle.load() - 1;
  for (const AiCreationRecord& c : h_.takeCreations()) {
    const std::uint32_t id = nextObjectId_++;
    const bool isStatic = c.hexid <= maxStaticHexid;
    hexidOf_[id] = c.hexid;
    if (!isStatic) logs_[c.hexid].objectId = id;
    h_.pushResult(SimResult{id, c.hexid, 0, isStatic ? SimResultKind::staticCreated : SimResultKind::liveCreated, 0.0,
                            std::max(c.position.altitude - ground, staticHeight)});
    if (!isStatic) h_.pushResult(SimResult{id, 0, 0, SimResultKind::staticCg, staticHeight, staticPitch});
  }
  for (std::uint32_t id : h_.takeRemovals()) {
    if (const auto it = hexidOf_.find(id); it != hexidOf_.end()) logs_[it->second].removed = true;
    previous_.erase(id);
    h_.pushResult(SimResult{id, 0, 0, SimResultKind::removed, 0.0, 0.0});
  }
  for (const ClientEventRecord& e : h_.takeEvents())
    if (const auto it = hexidOf_.find(e.objectId); it != hexidOf_.end()) logs_[it->second].events.push_back(e);
  if (requested % (flareActive != 0 ? 20 : 100) != 0) return;
  for (const LiveAc& ac : liveAcTable) {
    if (ac.objectId == 0) continue;
    const auto it = previous_.find(ac.objectId);
    const double altitude = it != previous_.end() ? it->second.altitude : ac.altitude;
    const bool onGround = altitude <= ground + staticHeight + 0.5;
    h_.pushResult(SimResult{ac.objectId, onGround ? 1u : 0u, 0, SimResultKind::inRange, ground,
                            std::max(altitude - ground, 0.0)});
  }
}

double World::reportedSpeedNear(std::uint32_t hexid, std::int64_t cycle) const {
  const auto it = reportedSpeeds_.find(hexid);
  if (it == reportedSpeeds_.end()) return 0.0;
  // The larger of the reports due last and next (past the last report: the last one's).
  const auto next = it->second.upper_bound(cycle);
  double best = next != it->second.end() ? next->second : 0.0;
  if (next != it->second.begin()) best = std::max(best, std::prev(next)->second);
  return best;
}

void World::check(const PositionUpdateRecord& r) {
  const auto found = hexidOf_.find(r.objectId);
  if (found == hexidOf_.end()) return;
  const std::uint32_t hexid = found->second;
  FlightLog& log = logs_[hexid];
  ++log.cycles;
  log.lastSent = r;
  const auto violation = [&log](const std::string& text) {
    if (log.violations.size() < 20) log.violations.push_back(wdrx::format("cycle {}: {}", engineCycle.load(), text));
  };
  const double values[] = {r.latitude, r.longitude, r.pitch, r.bank, r.heading, r.altitude, r.verticalSpeed,
                           r.trueAirspeed};
  for (double v : values)
    if (!std::isfinite(v)) violation("a value is not finite");
  if (!(r.latitude >= -90.0 && r.latitude <= 90.0 && r.longitude >= -180.0 && r.longitude <= 180.0))
    violation(wdrx::format("position {:.6f},{:.6f}", r.latitude, r.longitude));
  if (r.altitude < ground + staticHeight - 1.0) violation(wdrx::format("below the ground: {:.2f} ft", r.altitude));
  if (!(r.heading >= 0.0 && r.heading < 2.0 * pi)) violation(wdrx::format("heading {:.4f} rad", r.heading));

  const LiveAc* ac = gf_findLiveAc(hexid);
  const bool onGround = r.altitude <= ground + staticHeight + 0.5;
  if (ac != nullptr) {
    const CategoryValues& cat = gf_categoryValues(ac->category);
    const double noseUp = (ac->category == AcCategory::Rotorcraft ? 30.0 : 20.0) * degToRad;
    if (r.pitch < -noseUp - 1e-9 || r.pitch > 5.0 * degToRad + 1e-9)
      violation(wdrx::format("pitch {:.2f} deg", r.pitch * radToDeg));
    if (std::fabs(r.bank) > cat.maxBankDeg * degToRad + 1e-9) violation(wdrx::format("bank {:.2f} deg", r.bank * radToDeg));
    const auto prev = previous_.find(r.objectId);
    if (prev != previous_.end()) {
      const PositionUpdateRecord& p = prev->second;
      const double knots = gf_distanceNm({p.latitude, p.longitude}, {r.latitude, r.longitude}) * 360000.0;
      const double bound = 1.5 * reportedSpeedNear(hexid, engineCycle.load()) + 30.0;
      if (knots > bound) {
        ++log.catchUpCycles;
        if (!fastLeg_[hexid]) ++log.catchUpLegs;
        fastLeg_[hexid] = true;
      } else {
        fastLeg_[hexid] = false;
      }
      const double climb = r.altitude - p.altitude;
      const bool grounded = onGround && previousOnGround_[r.objectId];
      if (!grounded && climb > ac->climbLimit + 1e-6)
        violation(wdrx::format("climb {:.3f} ft per cycle (limit {:.2f})", climb, ac->climbLimit));
      if (ac->flareStage > 0 && ac->touchdown == 0 && !grounded && (climb > 1e-9 || climb < -0.1 - 1e-9))
        violation(wdrx::format("flare stage {}: {:.3f} ft per cycle", ac->flareStage, climb));
      if (grounded) {
        const double turn = std::fabs(std::remainder(r.heading - p.heading, 2.0 * pi));
        if (turn > ac->groundTurnRate + 1e-9)
          violation(wdrx::format("turn on the ground {:.4f} deg per cycle", turn * radToDeg));
      }
    }
  }
  previous_[r.objectId] = r;
  previousOnGround_[r.objectId] = onGround;
}

void World::notePhase(std::uint32_t hexid) {
  const LiveAc* ac = gf_findLiveAc(hexid);
  if (ac == nullptr) return;
  std::string phase;
  if (ac->simState == SimState::removingfromsim) {
    phase = "removing";
  } else if (ac->simState != SimState::active) {
    phase = std::string(gf_simStateName(ac->simState));
  } else if (ac->touchdown != 0) {
    phase = "touchdown";
  } else if (ac->flareStage > 0) {
    phase = "flare" + std::to_string(ac->flareStage);
  } else if (ac->approach != 0 && ac->flightState == FlightState::flying) {
    phase = "approach";
  } else {
    phase = std::string(gf_flightStateName(ac->flightState));
  }
  FlightLog& log = logs_[hexid];
  if (log.phases.empty() || log.phases.back() != phase) {
    log.phases.push_back(phase);
    log.phaseHeadings.push_back(ac->heading);
    log.phaseCycles.push_back(engineCycle.load());
  }
}

}  // namespace wdrx::testing
