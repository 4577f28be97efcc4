// The line of progress: drawn, redrawn now and then, erased, or nothing at
// all without a progress stream.
#include "dialogue/progress.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include "dialogue/console.h"

namespace trelvo {
namespace {

struct ProgressFixture : ::testing::Test {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream progress;
  Console console{in, out};
  Dialogue dialogue{console};
};

TEST_F(ProgressFixture, IsDrawnAtOnceAndErasedToWhereItBegan) {
  dialogue.progress = &progress;
  { ProgressLine line(dialogue, "Lavoro"); }
  EXPECT_EQ(progress.str(), "Lavoro: 0%" + std::string(10, '\b') + std::string(10, ' ') +
                                std::string(10, '\b'));
  EXPECT_EQ(out.str(), "");
}

TEST_F(ProgressFixture, IsRedrawnOnlyAfterAWhileAndOnlyWhenItsPercentageChanges) {
  dialogue.progress = &progress;
  ProgressLine line(dialogue, "L");
  line.update(50, 100);
  EXPECT_EQ(progress.str(), "L: 0%");
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  line.update(1, 1000);
  EXPECT_EQ(progress.str(), "L: 0%");
  line.update(375, 1000);
  EXPECT_EQ(progress.str(), "L: 0%\b\b\b\b\bL: 37%");
}

TEST_F(ProgressFixture, WithoutAProgressStreamNothingIsWrittenAnywhere) {
  {
    ProgressLine line(dialogue, "Lavoro");
    line.update(1, 2);
  }
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(progress.str(), "");
}

}  // namespace
}  // namespace trelvo
