#include "app/CopyLookahead.h"

#include <algorithm>

#include "runtime/Classes.h"
#include "runtime/Env.h"

namespace dravello {

namespace {

// Workers for the look-ups: they wait on the file system far more than they compute, so a
// second one pays even on one core; beyond four the file system is the limit.
unsigned WorkerCount() { return std::clamp(std::thread::hardware_concurrency(), 2u, 4u); }

}  // namespace

CopyLookahead::CopyLookahead(Env& env, const TStringList& files, CopyPath copyPath, Decide decide)
    : env_(env),
      files_(files),
      copyPath_(std::move(copyPath)),
      decide_(std::move(decide)),
      blocks_((files.Count() + kBlock - 1) / kBlock) {
  if (!env_.LookupsAreThreadSafe() || blocks_ == 0) return;
  decisions_.assign(files.Count(), kUndecided);
  blockDone_.assign(blocks_, 0);
  const unsigned n = std::min<unsigned>(WorkerCount(), blocks_);
  for (unsigned i = 0; i < n; ++i) workers_.emplace_back([this] { Work(); });
}

CopyLookahead::~CopyLookahead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  advanced_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void CopyLookahead::Work() {
  constexpr int kWindowBlocks = kWindow / kBlock;
  for (;;) {
    int block;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      advanced_.wait(lock, [&] { return stop_ || nextBlock_ >= blocks_ || nextBlock_ < askedBlock_ + kWindowBlocks; });
      if (stop_ || nextBlock_ >= blocks_) return;
      block = nextBlock_++;
    }
    DecideBlock(block);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      blockDone_[block] = 1;
    }
    done_.notify_all();
  }
}

void CopyLookahead::DecideBlock(int block) {
  const int end = std::min(files_.Count(), (block + 1) * kBlock);
  for (int i = block * kBlock; i < end; ++i) {
    const std::string& src = files_[i];
    try {
      decisions_[i] = decide_(env_, src, copyPath_(src)) ? kCopy : kSkip;
    } catch (...) {
      decisions_[i] = kFailed;
      std::lock_guard<std::mutex> lock(mutex_);
      failures_[i] = std::current_exception();
    }
  }
}

bool CopyLookahead::NeedsCopy(int index) {
  if (workers_.empty()) {  // decided here and now, as the run decided before there were workers
    const std::string& src = files_[index];
    return decide_(env_, src, copyPath_(src));
  }
  const int block = index / kBlock;
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (block > askedBlock_) {
      askedBlock_ = block;
      advanced_.notify_all();
    }
    done_.wait(lock, [&] { return blockDone_[block] != 0; });
    if (decisions_[index] == kFailed) {
      failure = failures_[index];
      failures_.erase(index);
    }
  }
  if (failure) std::rethrow_exception(failure);
  return decisions_[index] == kCopy;
}

}  // namespace dravello
