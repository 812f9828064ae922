#include "ops/row_bands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "base/preferences.h"

namespace qv {
namespace {

struct Job {
  int rows = 0;
  int band = 1;
  const std::function<void(int, int)>* work = nullptr;
  std::atomic<int> next{0};
  std::atomic<int> done{0};
  std::atomic<bool> stop{false};

  // Takes and runs bands until none is left or a stop came; the rows it ran.
  int Take() {
    int ran = 0;
    while (!stop.load(std::memory_order_relaxed)) {
      const int first = next.fetch_add(band, std::memory_order_relaxed);
      if (first >= rows) break;
      const int end = std::min(rows, first + band);
      (*work)(first, end);
      done.fetch_add(end - first, std::memory_order_relaxed);
      ran += end - first;
    }
    return ran;
  }
};

// Helpers that sleep between jobs. Every helper takes part in every job, so
// a job is over when each of them has reported back.
class Pool {
 public:
  ~Pool() { Resize(0); }

  void Run(Job& job, int helpers, const std::function<int(int)>& report, int& stopped) {
    Resize(helpers);
    {
      std::lock_guard lock(mutex_);
      job_ = &job;
      busy_ = static_cast<int>(threads_.size());
      ++generation_;
    }
    wake_.notify_all();
    // This thread works too, and reports after each of its bands.
    while (!job.stop.load(std::memory_order_relaxed)) {
      const int first = job.next.fetch_add(job.band, std::memory_order_relaxed);
      if (first >= job.rows) break;
      const int end = std::min(job.rows, first + job.band);
      (*job.work)(first, end);
      const int done = job.done.fetch_add(end - first, std::memory_order_relaxed) + (end - first);
      if (int r = report(done); r != 0) {
        stopped = r;
        job.stop.store(true, std::memory_order_relaxed);
      }
    }
    // The helpers' last bands: reports go on meanwhile, so that a long band
    // can still be stopped and the progress still moves.
    std::unique_lock lock(mutex_);
    while (!finished_.wait_for(lock, std::chrono::milliseconds(20), [&] { return busy_ == 0; })) {
      if (stopped != 0) continue;
      lock.unlock();
      if (int r = report(job.done.load(std::memory_order_relaxed)); r != 0) {
        stopped = r;
        job.stop.store(true, std::memory_order_relaxed);
      }
      lock.lock();
    }
    job_ = nullptr;
  }

 private:
  void Resize(int helpers) {
    if (static_cast<int>(threads_.size()) == helpers) return;
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      ++generation_;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
    threads_.clear();
    quit_ = false;
    // Only this thread changes the generation: each helper starts from the
    // current one and wakes for the next job.
    for (int i = 0; i < helpers; ++i) threads_.emplace_back([this, seen = generation_] { Serve(seen); });
  }

  void Serve(std::uint64_t seen) {
    for (;;) {
      Job* job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return generation_ != seen; });
        seen = generation_;
        if (quit_) return;
        job = job_;
      }
      if (job) job->Take();
      {
        std::lock_guard lock(mutex_);
        --busy_;
      }
      finished_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::vector<std::thread> threads_;
  std::uint64_t generation_ = 0;
  Job* job_ = nullptr;
  int busy_ = 0;
  bool quit_ = false;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

}  // namespace

int RowThreads() {
  const int chosen = Prefs().threads;
  if (chosen > 0) return chosen;
  return std::max(1u, std::thread::hardware_concurrency());
}

int RunRowBands(int rows, int threads, const std::function<void(int, int)>& work,
                const std::function<int(int)>& report) {
  if (rows <= 0) return 0;
  Job job;
  job.rows = rows;
  job.work = &work;
  threads = std::clamp(threads, 1, 64);
  // Bands small enough to keep every thread busy to the end and the reports
  // frequent, large enough that handing them out costs nothing.
  job.band = threads == 1 ? 1 : std::clamp(rows / (threads * 8), 1, 32);
  int stopped = 0;
  if (threads == 1 || rows <= job.band) {
    for (int y = 0; y < rows; ++y) {
      if (int r = report(y); r != 0) return r;
      work(y, y + 1);
    }
    return 0;
  }
  // As with one thread, a report before the first row.
  if (int r = report(0); r != 0) return r;
  ThePool().Run(job, threads - 1, report, stopped);
  return stopped;
}

}  // namespace qv
