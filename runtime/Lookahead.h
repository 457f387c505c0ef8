// Works out a value for each item of a list on worker threads, ahead of the thread that goes
// through the list.
//
// A run that asks the file system about many files in turn (is this one newer than its copy?
// what does this name stand for?) spends nearly all its time waiting on those look-ups, one at a
// time, while the other cores are idle. A lookahead hands the items to worker threads in blocks,
// in the list's order, while the caller goes through the list as before: it takes each value in
// turn and waits only when the workers have not got that far yet.
//
// A value is worked out once, at most kWindow items before its turn; what changes in between is
// picked up by the next run, as a change made just after an item's turn is. Values are held for
// the window only, so the memory does not grow with the list.
//
// Thread safety: `compute` runs on the workers, several at once, and may call only the Env's
// look-ups. With an Env that does not declare those safe from several threads (test doubles that
// keep state), no thread is started and each value is worked out when it is taken, on the
// caller's thread.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "runtime/Env.h"

namespace dravello {

template <typename T>
class Lookahead {
  // std::vector<bool> packs its values into shared bytes, which workers would write at once.
  static_assert(!std::is_same_v<T, bool>, "take a byte-sized type for yes-or-no values");

 public:
  // The value for item `index`; may raise, and Take then raises the same for that item.
  using Compute = std::function<T(size_t index)>;

  // Items per block a worker takes at once: few enough that the caller never waits long for the
  // first of them, many enough that taking one is no cost.
  static constexpr size_t kBlock = 64;
  // How far the workers may run ahead of the caller, in items.
  static constexpr size_t kWindow = 16384;

  // `compute` must stay valid while the lookahead lives.
  Lookahead(Env& env, size_t count, Compute compute)
      : count_(count), compute_(std::move(compute)), blocks_((count + kBlock - 1) / kBlock) {
    if (!env.LookupsAreThreadSafe() || blocks_ == 0) return;
    slots_.resize(std::min(count, kWindow));
    failed_.assign(slots_.size(), 0);
    blockDone_.assign(blocks_, 0);
    // The workers wait on the file system far more than they compute, so a second one pays
    // even on one core; beyond four the file system is the limit.
    const size_t n = std::min<size_t>(std::clamp(std::thread::hardware_concurrency(), 2u, 4u), blocks_);
    for (size_t i = 0; i < n; ++i) workers_.emplace_back([this] { Work(); });
  }

  // Stops the workers (they finish the block in hand) and joins them.
  ~Lookahead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    advanced_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  Lookahead(const Lookahead&) = delete;
  Lookahead& operator=(const Lookahead&) = delete;

  // The value for item `index`, or what working it out raised. Items are taken in increasing
  // order, each at most once; items may be passed over.
  T Take(size_t index) {
    if (workers_.empty()) return compute_(index);  // worked out here and now
    const size_t block = index / kBlock;
    const size_t slot = index % kWindow;
    std::exception_ptr failure;
    T value{};
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (block > askedBlock_) {
        askedBlock_ = block;
        advanced_.notify_all();
      }
      done_.wait(lock, [&] { return blockDone_[block] != 0; });
      if (failed_[slot]) {
        failure = failures_[index];
        failures_.erase(index);
      } else {
        value = std::move(slots_[slot]);
      }
    }
    if (failure) std::rethrow_exception(failure);
    return value;
  }

 private:
  static constexpr size_t kWindowBlocks = kWindow / kBlock;

  // A block's slots are free once the caller has asked for a later block: items are taken in
  // order, so the window's earlier occupant of each slot has been taken or passed over.
  void Work() {
    for (;;) {
      size_t block;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        advanced_.wait(lock, [&] { return stop_ || nextBlock_ >= blocks_ || nextBlock_ < askedBlock_ + kWindowBlocks; });
        if (stop_ || nextBlock_ >= blocks_) return;
        block = nextBlock_++;
      }
      const size_t end = std::min(count_, (block + 1) * kBlock);
      for (size_t i = block * kBlock; i < end; ++i) {
        const size_t slot = i % kWindow;
        try {
          slots_[slot] = compute_(i);
          failed_[slot] = 0;
        } catch (...) {
          failed_[slot] = 1;
          std::lock_guard<std::mutex> lock(mutex_);
          failures_[i] = std::current_exception();
        }
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        blockDone_[block] = 1;
      }
      done_.notify_all();
    }
  }

  const size_t count_;
  Compute compute_;
  const size_t blocks_;
  std::vector<T> slots_;           // the window's values, item i in slot i % kWindow
  std::vector<uint8_t> failed_;    // per slot; written by the block's worker before it is marked done
  std::vector<uint8_t> blockDone_; // guarded by mutex_
  std::map<size_t, std::exception_ptr> failures_;  // by item; guarded by mutex_
  size_t nextBlock_ = 0;           // the next block a worker takes; guarded by mutex_
  size_t askedBlock_ = 0;          // the block of the caller's last question; guarded by mutex_
  bool stop_ = false;              // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable done_;      // a block was worked out
  std::condition_variable advanced_;  // the caller moved on, or the workers are to stop
  std::vector<std::thread> workers_;
};

}  // namespace dravello
