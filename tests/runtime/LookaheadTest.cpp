// A lookahead must answer for exactly the item asked about, in order, across block and window
// boundaries, with its own failure, whether its workers run or it works in place.
#include "runtime/Lookahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace dravello {
namespace {

// Items by their number: the value is its name, every 997th cannot be worked out.
bool Fails(size_t n) { return n % 997 == 5; }

class InlineEnv : public EnvWrapper {  // an Env that keeps its calls to one thread
 public:
  InlineEnv() : EnvWrapper(Env::Platform()) {}
};

using StringLookahead = Lookahead<std::string>;

TEST(LookaheadTest, AnswersEachItemInTurnWithItsOwnFailure) {
  // Past the window twice, a block cut short, and items passed over.
  const size_t count = StringLookahead::kWindow * 2 + StringLookahead::kBlock / 2;
  InlineEnv inlineEnv;
  for (Env* env : {&Env::Platform(), static_cast<Env*>(&inlineEnv)}) {
    SCOPED_TRACE(env == &Env::Platform() ? "workers" : "in place");
    std::atomic<size_t> computed{0};
    StringLookahead lookahead(*env, count, [&](size_t n) {
      ++computed;
      if (Fails(n)) throw std::runtime_error("cannot work out " + std::to_string(n));
      return "item " + std::to_string(n);
    });
    size_t taken = 0;
    for (size_t n = 0; n < count; ++n) {
      if (n % 1000 == 999) continue;  // passed over
      ++taken;
      if (Fails(n)) {
        try {
          lookahead.Take(n);
          ADD_FAILURE() << n << " did not fail";
        } catch (const std::runtime_error& e) {
          EXPECT_EQ(std::string(e.what()), "cannot work out " + std::to_string(n));
        }
      } else {
        ASSERT_EQ(lookahead.Take(n), "item " + std::to_string(n));
      }
    }
    // Each item once: the workers do every one, in place only the ones taken.
    EXPECT_EQ(computed.load(), env == &Env::Platform() ? count : taken);
  }
}

TEST(LookaheadTest, ARunLeftEarlyStopsItsWorkers) {
  std::atomic<size_t> computed{0};
  {
    Lookahead<int> lookahead(Env::Platform(), StringLookahead::kWindow * 4, [&](size_t) { return static_cast<int>(++computed); });
    EXPECT_GT(lookahead.Take(0), 0);
  }  // must not wait for the rest of the list
  EXPECT_LE(computed.load(), StringLookahead::kWindow + 8 * StringLookahead::kBlock);  // the window and the blocks in hand
}

}  // namespace
}  // namespace dravello
