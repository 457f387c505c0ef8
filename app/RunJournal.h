// The places where a backup run in progress leaves temporary files, recorded for as long as the
// run lasts.
//
// A run that is killed midway leaves its copies and archives under temporary names beside their
// targets. A run into a fixed destination passes the same folders again and tidies them, but a
// dated folder or a dated archive name is never visited again. So each run records its
// destination in a small journal file beside the program's settings, removes the journal when it
// ends, and the next run tidies the places named in the journals of processes that no longer run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravello {

class TRunJournal {
 public:
  // Starts this process's journal "<stem>.<process id>.run", durable (synced with its folder) when
  // the constructor returns. `trees` are folders whose whole tree
  // the run writes into (a copy destination); `names` are files the run replaces through
  // temporary siblings (an archive). Best effort and never raises: without a journal only the
  // tidying after a kill of this run is lost, which is no reason to refuse the backup.
  TRunJournal(const std::string& stem, const std::vector<std::string>& trees, const std::vector<std::string>& names);
  // Removes the journal: a run that ends has nothing left to tidy.
  ~TRunJournal();
  TRunJournal(const TRunJournal&) = delete;
  TRunJournal& operator=(const TRunJournal&) = delete;

  // Reads the journals beside `stem` that processes no longer running left, removes the
  // temporary files of ended processes in the places they name, then the journals. Journals of
  // running processes stay; a journal cut short was cut before its run made any temporary file
  // and is only removed. Never raises. Returns the number of temporary files removed.
  static int TidyAfterEndedRuns(const std::string& stem);

  // The journal's name for a process.
  static std::string FileName(const std::string& stem, int64_t pid);

 private:
  std::string path_;
};

}  // namespace dravello
