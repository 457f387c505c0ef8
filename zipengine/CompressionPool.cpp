#include "zipengine/CompressionPool.h"

#include <algorithm>
#include <map>
#include <new>

#include "zipengine/Compression.h"

namespace dravello::zipengine {

CompressionPool::CompressionPool(int workers) {
  workers = std::max(1, workers);
  threads_.reserve(static_cast<size_t>(workers));
  for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Run(); });
}

CompressionPool::~CompressionPool() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
    queue_.clear();
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

int CompressionPool::DefaultWorkers() {
  unsigned n = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(n == 0 ? 2u : n, 1u, 16u));
}

// Wake-ups are sent only to a thread that waits for them: with thousands of small files,
// needless wake-ups cost more than the files.
void CompressionPool::Submit(std::shared_ptr<CompressionJob> job) {
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back(std::move(job));
    wake = idle_ > 0;
  }
  if (wake) work_.notify_one();
}

void CompressionPool::Submit(const std::vector<std::shared_ptr<CompressionJob>>& jobs) {
  if (jobs.empty()) return;
  int wake;
  {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.insert(queue_.end(), jobs.begin(), jobs.end());
    wake = std::min(idle_, static_cast<int>(jobs.size()));
  }
  for (int i = 0; i < wake; ++i) work_.notify_one();
}

void CompressionPool::Wait(const std::shared_ptr<CompressionJob>& job) {
  std::unique_lock<std::mutex> lock(mu_);
  awaited_ = job.get();
  done_.wait(lock, [&] { return job->finished_; });
  awaited_ = nullptr;
}

void CompressionPool::Run() {
  // One compressor per kind and level in use, kept for the life of the thread: their working
  // memory is large, and fresh memory for every file costs more than the compression of a
  // small one.
  std::map<int, std::unique_ptr<BufferDeflater>> deflaters;
  std::map<int, std::unique_ptr<PieceDeflater>> pieceDeflaters;
  auto compress = [&](CompressionJob& job) {
    job.Crc = Crc32(0, job.Input.data(), job.Input.size());
    if (job.Piece) {
      std::unique_ptr<PieceDeflater>& d = pieceDeflaters[job.Level];
      if (!d) d = std::make_unique<PieceDeflater>(job.Level);
      d->Compress(job.Input, job.Dictionary, job.Output);
      job.Deflated = true;
    } else if (job.Level > 0) {
      std::unique_ptr<BufferDeflater>& d = deflaters[job.Level];
      if (!d) d = std::make_unique<BufferDeflater>(job.Level);
      job.Deflated = d->Compress(job.Input, job.Output);
      if (!job.Deflated) std::string().swap(job.Output);
    }
  };
  for (;;) {
    std::shared_ptr<CompressionJob> job;
    {
      std::unique_lock<std::mutex> lock(mu_);
      ++idle_;
      work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      --idle_;
      if (stop_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      if (job->Prepare()) compress(*job);
    } catch (...) {
      job->Failed = true;
    }
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mu_);
      job->finished_ = true;
      wake = awaited_ == job.get();
    }
    if (wake) done_.notify_one();
  }
}

}  // namespace dravello::zipengine
