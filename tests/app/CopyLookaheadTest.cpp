// The copy run's lookahead must answer for exactly the file asked about, in order, across block
// and window boundaries, with its own failure, whether its workers run or it decides in place.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "app/CopyLookahead.h"
#include "runtime/Classes.h"
#include "runtime/Env.h"

namespace dravello {
namespace {

// Files named by their number: every third is to be copied, every 997th cannot be decided.
bool Expected(int n) { return n % 3 == 0; }
bool Fails(int n) { return n % 997 == 5; }

class InlineEnv : public EnvWrapper {  // an Env that keeps its calls to one thread
 public:
  InlineEnv() : EnvWrapper(Env::Platform()) {}
};

TEST(CopyLookaheadTest, AnswersEachFileInTurnWithItsOwnFailure) {
  const int count = CopyLookahead::kWindow * 2 + CopyLookahead::kBlock / 2;  // past the window, a block cut short
  TStringList files;
  for (int n = 0; n < count; ++n) files.Add(std::to_string(n));
  InlineEnv inlineEnv;
  for (Env* env : {&Env::Platform(), static_cast<Env*>(&inlineEnv)}) {
    SCOPED_TRACE(env == &Env::Platform() ? "workers" : "in place");
    std::atomic<int> decided{0};
    CopyLookahead lookahead(
        *env, files, [](const std::string& src) { return "copy of " + src; },
        [&](Env&, const std::string& src, const std::string& dst) {
          EXPECT_EQ(dst, "copy of " + src);
          ++decided;
          const int n = std::stoi(src);
          if (Fails(n)) throw std::runtime_error("cannot decide " + src);
          return Expected(n);
        });
    for (int n = 0; n < count; ++n) {
      if (Fails(n)) {
        try {
          lookahead.NeedsCopy(n);
          ADD_FAILURE() << n << " did not fail";
        } catch (const std::runtime_error& e) {
          EXPECT_EQ(std::string(e.what()), "cannot decide " + std::to_string(n));
        }
      } else {
        ASSERT_EQ(lookahead.NeedsCopy(n), Expected(n)) << n;
      }
    }
    EXPECT_EQ(decided.load(), count);  // each file once
  }
}

TEST(CopyLookaheadTest, ARunLeftEarlyStopsItsWorkers) {
  TStringList files;
  for (int n = 0; n < CopyLookahead::kWindow * 4; ++n) files.Add(std::to_string(n));
  std::atomic<int> decided{0};
  {
    CopyLookahead lookahead(
        Env::Platform(), files, [](const std::string& src) { return src; },
        [&](Env&, const std::string&, const std::string&) { return ++decided > 0; });
    EXPECT_TRUE(lookahead.NeedsCopy(0));
  }  // must not wait for the rest of the list
  EXPECT_LE(decided.load(), CopyLookahead::kWindow + 8 * CopyLookahead::kBlock);  // the window and the blocks in hand
}

}  // namespace
}  // namespace dravello
