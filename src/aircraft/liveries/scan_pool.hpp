#pragma once
// The scanner threads of a livery scan: a fixed set of threads working off a queue of file
// tasks. Each task counts in scanThreadsRunning from before it is queued until it has ended.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "aircraft/liveries/scan_task.hpp"

// Scanner tasks queued or running now; never negative.
extern std::atomic<std::int32_t> scanThreadsRunning;

class ScanPool {
 public:
  using Task = std::function<ScanTaskResult()>;

  ScanPool(int threadCount, std::chrono::milliseconds endWait);
  ~ScanPool();  // finish(endWait) unless finished
  ScanPool(const ScanPool&) = delete;
  ScanPool& operator=(const ScanPool&) = delete;

  std::future<ScanTaskResult> submit(Task task);
  // One more thread in place of one that is stuck in a task the driver gave up on; the pool
  // shrinks back by one thread each time a task ends while it is above its size. At most
  // threadCount such threads are added.
  void addWorker();
  // Lets the threads end once the queue is empty and waits at most `bound` for them. False
  // when some still run: their queued tasks are dropped and they are left to end on their own
  // (they share nothing with the scan but their own task).
  bool finish(std::chrono::milliseconds bound);

  struct State;  // shared with the threads, which may outlive the pool

 private:
  void startWorker();

  std::shared_ptr<State> state_;
  std::vector<std::thread> threads_;
  int size_;
  std::chrono::milliseconds endWait_;
  int added_ = 0;
  bool finished_ = false;
};
