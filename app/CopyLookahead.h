// Decides ahead of a copy run's loop which files need copying, on worker threads.
//
// On a rerun nearly every file is only looked up (its source and its copy), and those look-ups
// are the run's whole cost; one thread doing them in turn leaves the other cores idle. The
// lookahead hands the decisions to worker threads in blocks, in the files' order, while the run's
// own thread goes through the files as before: it asks for each decision in turn and waits only
// when the workers have not got that far yet.
//
// A decision is made once, at most kWindow files before its file's turn: what changes in between
// is picked up by the next run, as a change made just after a file's turn is.
//
// Thread safety: the workers call only the Env's look-ups (Stat, the file's age and its
// attributes). With an Env that does not declare those safe to call from several threads (test
// doubles that keep state), no thread is started and each decision is made when it is asked for,
// on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dravello {

class Env;
class TStringList;

class CopyLookahead {
 public:
  // Decides for the file `src` whether it is copied to `dst`; raises for a source that cannot be
  // decided on (the run reports that as the file's failed step).
  using Decide = std::function<bool(Env& env, const std::string& src, const std::string& dst)>;
  // Maps a source to its copy's path.
  using CopyPath = std::function<std::string(const std::string& src)>;

  // `files` must outlive the lookahead and stay unchanged while it lives.
  CopyLookahead(Env& env, const TStringList& files, CopyPath copyPath, Decide decide);
  // Stops the workers (they finish the block in hand) and joins them.
  ~CopyLookahead();
  CopyLookahead(const CopyLookahead&) = delete;
  CopyLookahead& operator=(const CopyLookahead&) = delete;

  // Whether file `index` is to be copied; raises what deciding it raised. Waits for the workers
  // when they have not decided it yet. Indexes are asked for in increasing order.
  bool NeedsCopy(int index);

  // Files per block a worker takes at once: few enough that the caller never waits long for the
  // first of them, many enough that taking one is no cost.
  static constexpr int kBlock = 64;
  // How far the workers may run ahead of the caller, in files.
  static constexpr int kWindow = 16384;

 private:
  enum : uint8_t { kUndecided = 0, kCopy = 1, kSkip = 2, kFailed = 3 };

  void Work();
  void DecideBlock(int block);

  Env& env_;
  const TStringList& files_;
  CopyPath copyPath_;
  Decide decide_;
  int blocks_;
  std::vector<uint8_t> decisions_;  // one per file; written by the block's worker before it is marked done
  std::vector<uint8_t> blockDone_;  // guarded by mutex_
  std::map<int, std::exception_ptr> failures_;  // by file index; guarded by mutex_
  int nextBlock_ = 0;          // the next block a worker takes; guarded by mutex_
  int askedBlock_ = 0;         // the block of the caller's last question; guarded by mutex_
  bool stop_ = false;          // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable done_;     // a block was decided
  std::condition_variable advanced_; // the caller moved on, or the workers are to stop
  std::vector<std::thread> workers_;
};

}  // namespace dravello
