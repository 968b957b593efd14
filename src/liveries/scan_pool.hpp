#pragma once
// The scanner threads of a livery scan: a fixed set of threads working off queues of tasks
// (listing a folder and reading its cfg files). Each thread keeps the tasks it queues in a lane
// of its own and takes its newest first (depth first, without a lock that all threads fight
// over); a thread without work takes the oldest task of another lane. Each task counts in
// scanThreadsRunning from before it is queued until it has ended.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Scanner tasks queued or running now; never negative.
extern std::atomic<std::int32_t> scanThreadsRunning;

class ScanPool {
 public:
  // What the threads share; tasks hold it to queue further tasks, also when they outlive the pool.
  class Queue;

  ScanPool(int threadCount, std::chrono::milliseconds endWait);
  ~ScanPool();  // finish(endWait) unless finished
  ScanPool(const ScanPool&) = delete;
  ScanPool& operator=(const ScanPool&) = delete;

  const std::shared_ptr<Queue>& queue() const { return queue_; }

  // One more thread in place of one that is stuck in a task the driver gave up on; the pool
  // shrinks back by one thread each time a task ends that began before such a thread was added
  // while the pool is above its size (a thread that came later stays while the stuck one is
  // stuck). At most threadCount such threads are added.
  void addWorker();
  // Lets the threads end once the queues are empty and waits at most `bound` for them. False
  // when some still run: their queued tasks are dropped and they are left to end on their own
  // (they share nothing with the scan but the queues).
  bool finish(std::chrono::milliseconds bound);

 private:
  void startWorker();

  std::shared_ptr<Queue> queue_;
  std::vector<std::thread> threads_;
  int size_;
  std::chrono::milliseconds endWait_;
  bool finished_ = false;
};

class ScanPool::Queue {
 public:
  explicit Queue(std::size_t threadLanes);

  // Queues the call at the front or at the back. A task queues the tasks it finds at the front,
  // so that its thread goes on depth first, in the order the driver takes the results. The call
  // hands its result on by itself; what it throws is logged. Once the pool is finishing nothing
  // is queued any more.
  template <typename Call>
  void post(Call call, bool front = false) {
    push(std::make_unique<Posted<Call>>(std::move(call)), front);
  }

 private:
  friend class ScanPool;
  struct JobBase {
    virtual ~JobBase() = default;
    virtual void run() = 0;
  };
  template <typename Call>
  struct Posted : JobBase {
    explicit Posted(Call&& call) : call(std::move(call)) {}
    void run() override { call(); }
    Call call;
  };
  // Lane 0 holds what is queued from outside the pool, the others one thread's tasks each.
  struct Lane {
    std::mutex mutex;
    std::deque<std::unique_ptr<JobBase>> jobs;
  };

  void push(std::unique_ptr<JobBase> job, bool front);
  // The lane's newest task, else the oldest of another lane; null when all are empty.
  std::unique_ptr<JobBase> take(std::size_t lane);
  void work(std::size_t lane);
  // Drops every queued task; their number.
  std::size_t dropAll();

  std::vector<std::unique_ptr<Lane>> lanes_;
  std::atomic<std::size_t> lanesUsed_{1};
  std::atomic<bool> finishing_{false};
  std::atomic<int> idle_{0};      // threads about to wait or waiting for a task
  std::atomic<int> surplus_{0};   // threads to retire after their current task
  std::atomic<int> added_{0};     // threads added so far; a task's thread retires only if one was added meanwhile
  std::mutex sleepMutex_;
  std::condition_variable work_;   // a task was queued, or the pool is finishing
  std::condition_variable ended_;  // a thread ended
  int liveThreads_ = 0;            // under sleepMutex_
};
