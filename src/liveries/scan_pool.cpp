#include "liveries/scan_pool.hpp"

#include <exception>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

std::atomic<std::int32_t> scanThreadsRunning{0};

namespace {
// The queue and lane of the pool thread running here; null on other threads.
thread_local const ScanPool::Queue* currentQueue = nullptr;
thread_local std::size_t currentLane = 0;
}  // namespace

ScanPool::ScanPool(int threadCount, std::chrono::milliseconds endWait)
    : size_(threadCount < 1 ? 1 : threadCount), endWait_(endWait) {
  // A lane for each thread the pool may ever have: its size and as many added ones.
  queue_ = std::make_shared<Queue>(static_cast<std::size_t>(size_) * 2);
  threads_.reserve(static_cast<std::size_t>(size_) * 2);
  for (int i = 0; i < size_; ++i) startWorker();
}

ScanPool::~ScanPool() {
  if (!finished_) finish(endWait_);
}

void ScanPool::startWorker() {
  Queue& queue = *queue_;
  const std::size_t lane = queue.lanesUsed_.fetch_add(1);
  {
    std::lock_guard lock(queue.sleepMutex_);
    ++queue.liveThreads_;
  }
  try {
    threads_.emplace_back([queue = queue_, lane] { queue->work(lane); });
  } catch (...) {
    std::lock_guard lock(queue.sleepMutex_);
    --queue.liveThreads_;
    throw;
  }
}

void ScanPool::addWorker() {
  if (queue_->added_.load() >= size_) return;
  queue_->added_.fetch_add(1);  // first: no task of the new thread began before it
  startWorker();
  queue_->surplus_.fetch_add(1);
}

bool ScanPool::finish(std::chrono::milliseconds bound) {
  finished_ = true;
  Queue& queue = *queue_;
  bool allEnded = false;
  {
    std::unique_lock lock(queue.sleepMutex_);
    queue.finishing_.store(true);  // the threads run what is queued, then end
    queue.work_.notify_all();
    allEnded = queue.ended_.wait_for(lock, bound, [&] { return queue.liveThreads_ == 0; });
  }
  if (!allEnded) scanThreadsRunning.fetch_sub(static_cast<std::int32_t>(queue.dropAll()));  // never to run
  for (std::thread& thread : threads_) {
    if (allEnded) {
      thread.join();
    } else {
      thread.detach();
    }
  }
  threads_.clear();
  if (!allEnded) {
    const std::int32_t running = scanThreadsRunning.load();
    gf_logMarked(wdrx::format("liveries scan: {} scanner task{} still running, left behind", running,
                              running == 1 ? "" : "s"));
  }
  return allEnded;
}

ScanPool::Queue::Queue(std::size_t threadLanes) {
  for (std::size_t i = 0; i <= threadLanes; ++i) lanes_.push_back(std::make_unique<Lane>());
}

void ScanPool::Queue::push(std::unique_ptr<JobBase> job, bool front) {
  const bool inside = currentQueue == this;
  Lane& lane = *lanes_[inside ? currentLane : 0];
  {
    std::lock_guard lock(lane.mutex);  // finish() drops what is queued under the same lock
    if (finishing_.load()) return;
    scanThreadsRunning.fetch_add(1);
    // A thread takes the newest task of its own lane first: its front is the back.
    if (front != inside) {
      lane.jobs.push_front(std::move(job));
    } else {
      lane.jobs.push_back(std::move(job));
    }
  }
  // A thread about to wait looks at the lanes again under sleepMutex_: the lane's lock orders
  // its look after this task, or this look at idle_ after its count.
  if (idle_.load() > 0) {
    std::lock_guard lock(sleepMutex_);
    work_.notify_one();
  }
}

std::unique_ptr<ScanPool::Queue::JobBase> ScanPool::Queue::take(std::size_t own) {
  std::unique_ptr<JobBase> job;
  {
    Lane& lane = *lanes_[own];
    std::lock_guard lock(lane.mutex);
    if (!lane.jobs.empty()) {
      job = std::move(lane.jobs.back());
      lane.jobs.pop_back();
      return job;
    }
  }
  const std::size_t count = lanes_.size();
  for (std::size_t step = 1; step < count; ++step) {
    Lane& lane = *lanes_[(own + step) % count];
    std::lock_guard lock(lane.mutex);
    if (!lane.jobs.empty()) {
      job = std::move(lane.jobs.front());
      lane.jobs.pop_front();
      return job;
    }
  }
  return job;
}

std::size_t ScanPool::Queue::dropAll() {
  std::size_t dropped = 0;
  for (const std::unique_ptr<Lane>& lane : lanes_) {
    std::lock_guard lock(lane->mutex);
    dropped += lane->jobs.size();
    lane->jobs.clear();
  }
  return dropped;
}

void ScanPool::Queue::work(std::size_t lane) {
  currentQueue = this;
  currentLane = lane;
  for (;;) {
    std::unique_ptr<JobBase> job = take(lane);
    if (!job) {
      std::unique_lock lock(sleepMutex_);
      idle_.fetch_add(1);
      job = take(lane);  // queued meanwhile by someone who saw no thread waiting
      while (!job && !finishing_.load()) {
        work_.wait(lock);
        job = take(lane);
      }
      idle_.fetch_sub(1);
      if (!job) break;  // finishing, and nothing is queued
    }
    const int addedBefore = added_.load();
    try {
      job->run();
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("{} exception: {}", "lf_scanWorker", e.what()));
    }
    job.reset();
    scanThreadsRunning.fetch_sub(1);
    // Only a thread whose task outlasted the adding of a thread leaves: the one that may have
    // been stuck, not the one added for it. Others take what is left in its lane.
    if (added_.load() == addedBefore) continue;
    int surplus = surplus_.load();
    while (surplus > 0 && !surplus_.compare_exchange_weak(surplus, surplus - 1)) {
    }
    if (surplus > 0) break;
  }
  currentQueue = nullptr;
  {
    std::lock_guard lock(sleepMutex_);
    --liveThreads_;
  }
  ended_.notify_all();
}
