// The dialogue driven in memory: the random fills, the end of a run and
// the console's reads.
#include "dialogue/dialogue.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "dialogue/console.h"
#include "dialogue/entry_display.h"
#include "dialogue/main_loop.h"

namespace trelvo {
namespace {

constexpr char kPause[] = "Premere un tasto per continuare . . . ";

// One run of the whole dialogue on `typed`, with a fixed clock.
struct PipedRun {
  explicit PipedRun(const std::string& typed) : in(typed), console(in, out), dialogue(console) {
    dialogue.clock = [] { return std::time_t{1234}; };
    dialogue.waitForKey = [this] {
      ++keyWaits;
      outputAtKeyWait = out.str();
    };
    runDialogue(dialogue);
  }
  std::istringstream in;
  std::ostringstream out;
  Console console;
  Dialogue dialogue;
  int keyWaits = 0;
  std::string outputAtKeyWait;
};

TEST(RunEnd, WaitsForAKeyAfterThePausePromptOnly) {
  PipedRun run("9 2 2 2 1 2 3 4");
  EXPECT_EQ(run.keyWaits, 1);
  const std::string output = run.out.str();
  ASSERT_GE(output.size(), sizeof kPause);
  EXPECT_EQ(run.outputAtKeyWait.substr(run.outputAtKeyWait.size() - (sizeof kPause - 1)), kPause);
  EXPECT_EQ(output, run.outputAtKeyWait + "\n");
}

TEST(RunEnd, EndOfInputEndsAtOnceWithoutWaiting) {
  for (const char* typed : {"", "9", "9 2 2", "9 2 2 2 1 2", "9 2 2 1", "x", "9 2 2 2 1 2 3 x"}) {
    PipedRun run(typed);
    EXPECT_EQ(run.keyWaits, 0) << typed;
    const std::string output = run.out.str();
    EXPECT_EQ(output.find(kPause), std::string::npos) << typed;
    EXPECT_EQ(output.back(), '\n') << typed;
  }
}

TEST(RunEnd, AnOutputThatCannotBeWrittenEndsTheRun) {
  std::istringstream in("9 2 2 2 1 2 3 4");
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  Console console(in, out);
  Dialogue dialogue(console);
  bool waited = false;
  dialogue.waitForKey = [&] { waited = true; };
  runDialogue(dialogue);
  EXPECT_FALSE(waited);
  EXPECT_EQ(in.tellg(), 0);
}

// Fills a rows x cols matrix at random with `maximum`, seeded with `seed`.
std::vector<float> randomFill(unsigned seed, int32_t maximum, int32_t rows = 3, int32_t cols = 4) {
  std::istringstream in("1 " + std::to_string(maximum));
  std::ostringstream out;
  Console console(in, out);
  Dialogue dialogue(console);
  std::vector<float> values(static_cast<size_t>(rows * cols), -1.0f);
  dialogue.random.reseed(seed);
  EXPECT_EQ(enterElements(dialogue, MatrixView(values.data()), rows, cols, Wording::kPlain), 1);
  return values;
}

TEST(RandomFill, TheSameSeedDrawsTheSameValues) {
  EXPECT_EQ(randomFill(77, 1000), randomFill(77, 1000));
  EXPECT_NE(randomFill(77, 1000), randomFill(78, 1000));
}

#ifdef __GLIBC__
TEST(RandomFill, DrawsAsTheCLibrarysRandAfterTheSameSeed) {
  for (int32_t maximum : {100, -7, INT_MAX}) {
    const std::vector<float> values = randomFill(1733836800u, maximum, 30, 40);
    std::srand(1733836800u);
    for (float v : values) ASSERT_EQ(v, static_cast<float>(std::rand() % int64_t{maximum} + 1));
  }
}
#endif

TEST(RandomFill, ValuesAreWholeNumbersFromOneToTheMaximumsMagnitude) {
  struct Case {
    int32_t maximum;
    float lowest, highest;
  };
  const Case cases[] = {{1, 1, 1},
                        {-1, 1, 1},
                        {6, 1, 6},
                        {-3, 1, 3},
                        {INT_MAX, 1, 2147483648.0f},
                        {INT_MIN, 1, 2147483648.0f}};
  for (const Case& c : cases) {
    for (float v : randomFill(5, c.maximum, 20, 20)) {
      EXPECT_GE(v, c.lowest) << c.maximum;
      EXPECT_LE(v, c.highest) << c.maximum;
      EXPECT_EQ(v, static_cast<float>(static_cast<int64_t>(v))) << c.maximum;
    }
  }
}

TEST(RandomFill, AMaximumOfZeroIsAskedAgain) {
  std::istringstream in("1 0 0 1");
  std::ostringstream out;
  Console console(in, out);
  Dialogue dialogue(console);
  float value = -1;
  EXPECT_EQ(enterElements(dialogue, MatrixView(&value), 1, 1, Wording::kPlain), 1);
  EXPECT_EQ(value, 1.0f);
  const std::string prompt = "\nIndicare il valore massimo dei numeri da generare\n  --> ";
  const std::string refusal = "\n\nIl valore massimo non puo' essere 0.";
  EXPECT_EQ(out.str(),
            "\nInserire gli elementi della matrice:\n1: Generazione casuale;\n2: "
            "Inserimento manuale.\n   --> \n" +
                prompt + "\n" + refusal + prompt + "\n" + refusal + prompt + "\n");
}

TEST(EntryMethod, AnyOtherMethodFillsNothing) {
  for (const char* method : {"0", "3", "-1", "2147483647"}) {
    std::istringstream in(method);
    std::ostringstream out;
    Console console(in, out);
    Dialogue dialogue(console);
    float values[4] = {7, 7, 7, 7};
    EXPECT_EQ(enterElements(dialogue, MatrixView(values), 2, 2, Wording::kSecondMatrix),
              std::atoi(method));
    for (float v : values) EXPECT_EQ(v, 7.0f);
    EXPECT_EQ(out.str(),
              "\nInserire gli elementi della 2a matrice:\n1: Generazione casuale;\n2: Inserimento "
              "manuale.\n   --> \n");
  }
}

// Records how much output had been flushed each time input was needed.
class WatchedInput : public std::streambuf {
 public:
  WatchedInput(std::string text, const std::ostringstream& screen)
      : text_(std::move(text)), screen_(screen) {}
  std::vector<std::string> screensAtRead;

 protected:
  int_type underflow() override {
    if (next_ >= text_.size()) return traits_type::eof();
    screensAtRead.push_back(screen_.str());
    // One line at a time, as a terminal delivers it.
    size_t end = text_.find('\n', next_);
    end = (end == std::string::npos) ? text_.size() : end + 1;
    line_ = text_.substr(next_, end - next_);
    next_ = end;
    setg(line_.data(), line_.data(), line_.data() + line_.size());
    return traits_type::to_int_type(line_[0]);
  }

 private:
  std::string text_, line_;
  size_t next_ = 0;
  const std::ostringstream& screen_;
};

// An output that reaches the screen only when flushed.
class BufferedScreen : public std::streambuf {
 public:
  explicit BufferedScreen(std::ostringstream& screen) : screen_(screen) {}

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) pending_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<size_t>(n));
    return n;
  }
  int sync() override {
    screen_ << pending_;
    pending_.clear();
    return 0;
  }

 private:
  std::ostringstream& screen_;
  std::string pending_;
};

TEST(Console, AtATerminalEveryPromptIsShownBeforeTheWait) {
  std::ostringstream screen;
  BufferedScreen screenBuffer(screen);
  std::ostream out(&screenBuffer);
  WatchedInput typed("7\n2\n2\n2\n1\n2\n3\n4\n", screen);
  std::istream in(&typed);
  Console console(in, out);
  console.setFlushBeforeRead(true);
  Dialogue dialogue(console);
  runDialogue(dialogue);
  ASSERT_EQ(typed.screensAtRead.size(), 8u);
  const char* lastPrompts[] = {"   --> ", "RIGHE   (>1): ", "COLONNE (>1): ", "   --> ",
                               "a11: ",   "a12: ",          "a21: ",          "a22: "};
  for (size_t k = 0; k < 8; ++k) {
    const std::string& shown = typed.screensAtRead[k];
    const std::string prompt = lastPrompts[k];
    ASSERT_GE(shown.size(), prompt.size()) << k;
    EXPECT_EQ(shown.substr(shown.size() - prompt.size()), prompt) << k;
  }
}

TEST(Console, ARefusedTokenDiscardsTheRestOfItsLine) {
  std::istringstream in("abc 5 6\n7 8\n2,5x 1\n2,5");
  std::ostringstream out;
  Console console(in, out);
  EXPECT_EQ(console.readInt(), 7);
  EXPECT_EQ(console.readInt(), 8);
  EXPECT_EQ(console.readDecimal(), 2.5f);
  EXPECT_THROW(console.readInt(), InputEnded);
  EXPECT_EQ(out.str(),
            "\n\nValore non valido, riprovare.\n   --> "
            "\n\nValore non valido, riprovare.\n   --> ");
}

TEST(Console, AnEndlessTokenIsRefusedWithoutBeingKept) {
  std::istringstream in(std::string(1 << 20, '1') + "\n42");
  std::ostringstream out;
  Console console(in, out);
  EXPECT_EQ(console.readInt(), 42);
  EXPECT_EQ(out.str(), "\n\nValore non valido, riprovare.\n   --> ");
}

}  // namespace
}  // namespace trelvo
