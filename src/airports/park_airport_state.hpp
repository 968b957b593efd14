#pragma once
// The current park airport: its code (all zero = none) and its airport record. Written on the
// run thread when a park airport is chosen or left; read by the Traffic Reader thread and the
// engine.
#include <atomic>
#include <mutex>

#include "airports/airport_db.hpp"
#include "foundation/fixed_code.hpp"

extern std::atomic<IcaoCode> parkAirportCode;

// The park airport's record (position, field altitude), copied whole under a lock of its own.
class ParkAirportRecord {
 public:
  Airport load() const;
  void store(const Airport& airport);

 private:
  mutable std::mutex mutex_;
  Airport airport_;
};
extern ParkAirportRecord parkAirport;
