// A line of progress for long work: "Calcolo dell'inversa: 37%", drawn on
// the dialogue's progress stream (standard error at a terminal, nothing
// otherwise), redrawn a few times a second and erased when the work ends,
// so the dialogue's own output is never touched.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "dialogue/dialogue.h"

namespace trelvo {

class ProgressLine {
 public:
  /// Shows "`label`: 0%" at once when the dialogue has a progress stream
  /// (after putting the dialogue's pending output on the screen).
  ProgressLine(Dialogue& d, std::string_view label);
  /// Erases the line, leaving the cursor where it was before it.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// `done` of `total` units of the work are done: redraws the line when
  /// its percentage has changed and it has not been drawn for a while.
  void update(int64_t done, int64_t total);

 private:
  void draw(int percent);

  std::ostream* out_;
  std::string label_;
  int shown_ = -1;
  size_t width_ = 0;
  std::chrono::steady_clock::time_point drawnAt_;
};

}  // namespace trelvo
