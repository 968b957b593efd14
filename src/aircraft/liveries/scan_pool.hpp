#pragma once
// The scanner threads of a livery scan: a fixed set of threads working off one queue of
// tasks (listing a folder, reading a cfg file). Each task counts in scanThreadsRunning from
// before it is queued until it has ended.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
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
  // shrinks back by one thread each time a task ends while it is above its size. At most
  // threadCount such threads are added.
  void addWorker();
  // Lets the threads end once the queue is empty and waits at most `bound` for them. False
  // when some still run: their queued tasks are dropped and they are left to end on their own
  // (they share nothing with the scan but the queue).
  bool finish(std::chrono::milliseconds bound);

 private:
  void startWorker();

  std::shared_ptr<Queue> queue_;
  std::vector<std::thread> threads_;
  int size_;
  std::chrono::milliseconds endWait_;
  int added_ = 0;
  bool finished_ = false;
};

class ScanPool::Queue {
 public:
  // Queues the call at the back, or at the front: a task queues the tasks it finds at the front,
  // so that the work goes depth first, in the order the driver takes the results. Once the
  // pool is finishing nothing is queued any more (the future then reports a broken promise).
  template <typename Call>
  auto submit(Call call, bool front = false) -> std::future<std::invoke_result_t<Call>> {
    using Result = std::invoke_result_t<Call>;
    auto job = std::make_unique<Job<Result>>(std::move(call));
    std::future<Result> future = job->task.get_future();
    {
      std::lock_guard lock(mutex_);
      if (finishing_) return future;
      scanThreadsRunning.fetch_add(1);
      front ? jobs_.push_front(std::move(job)) : jobs_.push_back(std::move(job));
    }
    work_.notify_one();
    return future;
  }

 private:
  friend class ScanPool;
  struct JobBase {
    virtual ~JobBase() = default;
    virtual void run() = 0;
  };
  template <typename Result>
  struct Job : JobBase {
    template <typename Call>
    explicit Job(Call&& call) : task(std::forward<Call>(call)) {}
    void run() override { task(); }  // the call's exceptions go to its future
    std::packaged_task<Result()> task;
  };

  void work();

  std::mutex mutex_;
  std::condition_variable work_;   // a task was queued, or the pool is finishing
  std::condition_variable ended_;  // a thread ended
  std::deque<std::unique_ptr<JobBase>> jobs_;
  bool finishing_ = false;
  int liveThreads_ = 0;
  int surplus_ = 0;  // threads to retire after their current task
};
