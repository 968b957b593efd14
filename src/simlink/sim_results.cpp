#include "simlink/sim_results.hpp"

std::mutex simResultMutex;
std::vector<SimResult> simResultQueue;

void gf_pushSimResult(const SimResult& result) {
  std::lock_guard lock(simResultMutex);
  simResultQueue.push_back(result);
}
