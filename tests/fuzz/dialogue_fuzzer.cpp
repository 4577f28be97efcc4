// libFuzzer target: arbitrary bytes typed into the whole dialogue.
//
// The run is reproducible (the clock that seeds the random fills is fixed)
// and bounded, so that a slow input means a fault and not a big matrix:
// - the storage limit is small, so huge sizes take the refusal path instead
//   of the machine's memory;
// - the output is cut off after a few megabytes, which ends the run at its
//   next read as a closed console does;
// - after a fixed number of passes the run ends as at the end of input.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "dialogue/console.h"
#include "dialogue/dialogue.h"
#include "dialogue/main_loop.h"

namespace {

// The inverse of an n x n matrix takes about n^5 steps. Side 16 keeps a
// pass within a millisecond, and every size where the dialogue changes
// (column limit 11, printed working up to side 8 and up to side 11) is still
// reachable.
constexpr int64_t kFuzzStorageLimit = 16 * 16;
constexpr std::streamsize kOutputLimit = 4 << 20;
constexpr int kPassLimit = 50;

// Counts what is written and discards it; fails once the limit is passed.
class BoundedSink : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    written_ += n;
    return written_ > kOutputLimit ? 0 : n;
  }
  int_type overflow(int_type c) override {
    return xsputn(nullptr, 1) == 1 ? traits_type::not_eof(c) : traits_type::eof();
  }

 private:
  std::streamsize written_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string typed(reinterpret_cast<const char*>(data), size);
  std::istringstream in(typed);
  BoundedSink sink;
  std::ostream out(&sink);
  trelvo::Console console(in, out);
  trelvo::Dialogue dialogue(console);
  dialogue.storageLimit = kFuzzStorageLimit;
  int passes = 0;
  // The clock is read once at the head of every pass.
  dialogue.clock = [&passes] {
    if (++passes > kPassLimit) throw trelvo::InputEnded{};
    return std::time_t{0};
  };
  trelvo::runDialogue(dialogue);
  return 0;
}
