#include "airports/park_airport_state.hpp"

std::atomic<IcaoCode> parkAirportCode{IcaoCode{}};
ParkAirportRecord parkAirport;

Airport ParkAirportRecord::load() const {
  std::lock_guard lock(mutex_);
  return airport_;
}

void ParkAirportRecord::store(const Airport& airport) {
  std::lock_guard lock(mutex_);
  airport_ = airport;
}
