#include "aircraft/liveries/scan_pool.hpp"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

std::atomic<std::int32_t> scanThreadsRunning{0};

struct ScanPool::State {
  std::mutex mutex;
  std::condition_variable work;   // a task was queued, or the pool is finishing
  std::condition_variable ended;  // a thread ended
  std::deque<std::packaged_task<ScanTaskResult()>> queue;
  bool finishing = false;
  int liveThreads = 0;
  int surplus = 0;  // threads to retire after their current task
};

namespace {
void lf_scanWorker(std::shared_ptr<ScanPool::State> state);
}  // namespace

ScanPool::ScanPool(int threadCount, std::chrono::milliseconds endWait)
    : state_(std::make_shared<State>()), size_(threadCount < 1 ? 1 : threadCount), endWait_(endWait) {
  threads_.reserve(static_cast<std::size_t>(size_) * 2);
  for (int i = 0; i < size_; ++i) startWorker();
}

ScanPool::~ScanPool() {
  if (!finished_) finish(endWait_);
}

void ScanPool::startWorker() {
  {
    std::lock_guard lock(state_->mutex);
    ++state_->liveThreads;
  }
  try {
    threads_.emplace_back(lf_scanWorker, state_);
  } catch (...) {
    std::lock_guard lock(state_->mutex);
    --state_->liveThreads;
    throw;
  }
}

std::future<ScanTaskResult> ScanPool::submit(Task task) {
  scanThreadsRunning.fetch_add(1);
  std::packaged_task<ScanTaskResult()> packaged([task = std::move(task)]() {
    struct Count {
      ~Count() { scanThreadsRunning.fetch_sub(1); }
    } count;
    return task();
  });
  std::future<ScanTaskResult> future = packaged.get_future();
  {
    std::lock_guard lock(state_->mutex);
    state_->queue.push_back(std::move(packaged));
  }
  state_->work.notify_one();
  return future;
}

void ScanPool::addWorker() {
  if (added_ >= size_) return;
  ++added_;
  {
    std::lock_guard lock(state_->mutex);
    ++state_->surplus;
  }
  startWorker();
}

bool ScanPool::finish(std::chrono::milliseconds bound) {
  finished_ = true;
  {
    std::lock_guard lock(state_->mutex);
    state_->finishing = true;
  }
  state_->work.notify_all();
  bool allEnded = false;
  {
    std::unique_lock lock(state_->mutex);
    allEnded = state_->ended.wait_for(lock, bound, [this] { return state_->liveThreads == 0; });
    if (!allEnded) {
      // Tasks that no thread took: never run, so never counted as ended.
      scanThreadsRunning.fetch_sub(static_cast<std::int32_t>(state_->queue.size()));
      state_->queue.clear();
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

namespace {
void lf_scanWorker(std::shared_ptr<ScanPool::State> state) {
  for (;;) {
    std::packaged_task<ScanTaskResult()> task;
    {
      std::unique_lock lock(state->mutex);
      state->work.wait(lock, [&] { return state->finishing || !state->queue.empty(); });
      if (state->queue.empty()) break;
      task = std::move(state->queue.front());
      state->queue.pop_front();
    }
    try {
      task();  // the task's own exceptions go to its future
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("{} exception: {}", "lf_scanWorker", e.what()));
    }
    std::lock_guard lock(state->mutex);
    if (state->surplus > 0) {
      --state->surplus;
      break;
    }
  }
  {
    std::lock_guard lock(state->mutex);
    --state->liveThreads;
  }
  state->ended.notify_all();
}
}  // namespace
