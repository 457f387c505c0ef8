#include "runtime/Clock.h"

#include <atomic>

namespace dravello {

// Defined by the platform's Env file.
Clock& SystemClockInstance();

namespace {
std::atomic<Clock*> g_clock{nullptr};
}  // namespace

Clock& Clock::Default() {
  Clock* c = g_clock.load(std::memory_order_acquire);
  return c ? *c : SystemClockInstance();
}

void Clock::SetDefault(Clock* clock) { g_clock.store(clock, std::memory_order_release); }

}  // namespace dravello
