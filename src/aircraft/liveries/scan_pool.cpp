#include "aircraft/liveries/scan_pool.hpp"

#include <exception>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

std::atomic<std::int32_t> scanThreadsRunning{0};

ScanPool::ScanPool(int threadCount, std::chrono::milliseconds endWait)
    : queue_(std::make_shared<Queue>()), size_(threadCount < 1 ? 1 : threadCount), endWait_(endWait) {
  threads_.reserve(static_cast<std::size_t>(size_) * 2);
  for (int i = 0; i < size_; ++i) startWorker();
}

ScanPool::~ScanPool() {
  if (!finished_) finish(endWait_);
}

void ScanPool::startWorker() {
  {
    std::lock_guard lock(queue_->mutex_);
    ++queue_->liveThreads_;
  }
  try {
    threads_.emplace_back([queue = queue_] { queue->work(); });
  } catch (...) {
    std::lock_guard lock(queue_->mutex_);
    --queue_->liveThreads_;
    throw;
  }
}

void ScanPool::addWorker() {
  if (added_ >= size_) return;
  ++added_;
  {
    std::lock_guard lock(queue_->mutex_);
    ++queue_->surplus_;
  }
  startWorker();
}

bool ScanPool::finish(std::chrono::milliseconds bound) {
  finished_ = true;
  Queue& queue = *queue_;
  bool allEnded = false;
  {
    std::unique_lock lock(queue.mutex_);
    queue.finishing_ = true;  // the threads run what is queued, then end
    queue.work_.notify_all();
    allEnded = queue.ended_.wait_for(lock, bound, [&] { return queue.liveThreads_ == 0; });
    if (!allEnded) {
      scanThreadsRunning.fetch_sub(static_cast<std::int32_t>(queue.jobs_.size()));  // never to run
      queue.jobs_.clear();
    }
  }
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

void ScanPool::Queue::work() {
  for (;;) {
    std::unique_ptr<JobBase> job;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] { return finishing_ || !jobs_.empty(); });
      if (jobs_.empty()) break;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job->run();
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("{} exception: {}", "lf_scanWorker", e.what()));
    }
    job.reset();
    scanThreadsRunning.fetch_sub(1);
    std::lock_guard lock(mutex_);
    if (surplus_ > 0) {
      --surplus_;
      break;
    }
  }
  {
    std::lock_guard lock(mutex_);
    --liveThreads_;
  }
  ended_.notify_all();
}
