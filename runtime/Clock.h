// The clock: local date and time and a millisecond tick. The program reads time only through
// Clock::Default(), which tests replace with a clock of their own.
#pragma once

#include <cstdint>

#include "runtime/DateTime.h"

namespace dravello {

class Clock {
 public:
  virtual ~Clock() = default;
  // The local date and time now.
  virtual TDateTimeParts Now() = 0;
  // Milliseconds since an arbitrary start; wraps at 2^32 like the system tick count.
  virtual uint32_t TickCount() = 0;

  // The clock in use: the system clock unless a test installed another.
  static Clock& Default();
  // Installs `clock` (not owned) as the default; nullptr restores the system clock. Returns the
  // clock installed before (nullptr for the system clock).
  static Clock* SetDefault(Clock* clock);
};

// A clock that stands still until told to move, for tests.
class ManualClock : public Clock {
 public:
  explicit ManualClock(TDateTimeParts now = {2004, 3, 15, 14, 7, 33, 0}) : now_(now) {}
  TDateTimeParts Now() override { return now_; }
  uint32_t TickCount() override { return tick_; }
  void Set(const TDateTimeParts& now) { now_ = now; }
  void AdvanceTicks(uint32_t ms) { tick_ += ms; }

 private:
  TDateTimeParts now_;
  uint32_t tick_ = 1000;
};

// Installs a clock for the lifetime of a scope; the one installed before comes back at its end,
// so scopes nest.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) : previous_(Clock::SetDefault(&clock)) {}
  ~ScopedClock() { Clock::SetDefault(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace dravello
