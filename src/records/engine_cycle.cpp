#include "records/engine_cycle.hpp"

std::atomic<std::int64_t> engineCycle{0};
