#include "dialogue/progress.h"

namespace trelvo {
namespace {

// A few redraws a second: often enough to see it move, rarely enough to
// cost nothing.
constexpr std::chrono::milliseconds kRedrawInterval{200};

}  // namespace

ProgressLine::ProgressLine(Dialogue& d, std::string_view label) : out_(d.progress), label_(label) {
  if (!out_) return;
  // What the dialogue has printed goes first, so the line stands after it.
  d.io.flush();
  draw(0);
}

// Backspaces rather than a carriage return: text before the line on the
// same screen line stays as it was.
ProgressLine::~ProgressLine() {
  if (!out_ || width_ == 0) return;
  const std::string back(width_, '\b');
  *out_ << back + std::string(width_, ' ') + back << std::flush;
}

void ProgressLine::update(int64_t done, int64_t total) {
  if (!out_ || total <= 0) return;
  const int percent = static_cast<int>(done * 100 / total);
  if (percent == shown_ || std::chrono::steady_clock::now() - drawnAt_ < kRedrawInterval) return;
  draw(percent);
}

void ProgressLine::draw(int percent) {
  const std::string text = label_ + ": " + std::to_string(percent) + "%";
  // The percentage only grows, so the new text covers the old one.
  *out_ << std::string(width_, '\b') + text << std::flush;
  width_ = text.size();
  shown_ = percent;
  drawnAt_ = std::chrono::steady_clock::now();
}

}  // namespace trelvo
