// Worker threads that compress whole files while the calling thread reads, writes and talks to
// the caller. Jobs are finished in any order; the caller waits for them in its own order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dravello::zipengine {

struct CompressionJob {
  virtual ~CompressionJob() = default;

  // Runs on the worker before anything else: a job may fetch its own input there (a source file
  // read on the worker, say). False when there is nothing to compress; the job is then done.
  virtual bool Prepare() { return true; }

  // In.
  std::string Input;
  int Level = 0;  // 0 stores
  // A piece of a large source (see PieceDeflater): deflated with zlib after `Dictionary`.
  bool Piece = false;
  std::string Dictionary;
  // Out, valid once the pool says the job is done.
  std::string Output;    // the compressed data; empty when the input is stored as it is
  bool Deflated = false;
  uint32_t Crc = 0;
  bool Failed = false;   // compression could not be done (memory)

 private:
  friend class CompressionPool;
  bool finished_ = false;  // guarded by the pool's mutex
};

class CompressionPool {
 public:
  // `workers` of at least 1.
  explicit CompressionPool(int workers);
  ~CompressionPool();  // finishes nothing further; joins the threads
  CompressionPool(const CompressionPool&) = delete;
  CompressionPool& operator=(const CompressionPool&) = delete;

  void Submit(std::shared_ptr<CompressionJob> job);
  // Several jobs at once, with one wake-up at most per waiting worker.
  void Submit(const std::vector<std::shared_ptr<CompressionJob>>& jobs);
  // Blocks until `job` (submitted before) is done.
  void Wait(const std::shared_ptr<CompressionJob>& job);

  // A sensible number of workers for this machine.
  static int DefaultWorkers();

 private:
  void Run();

  std::mutex mu_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<std::shared_ptr<CompressionJob>> queue_;
  bool stop_ = false;
  int idle_ = 0;                               // workers waiting for work
  const CompressionJob* awaited_ = nullptr;    // the job the caller is waiting for
  std::vector<std::thread> threads_;
};

}  // namespace dravello::zipengine
