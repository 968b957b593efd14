#include "traffic/engine/engine_cycle.hpp"

std::atomic<std::int32_t> engineCycle{0};
