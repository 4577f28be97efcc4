#include "ops/kernels.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "ops/kernels_isa.h"

// glibc's header is C: clang, unlike GCC, does not take its _Bool in C++.
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#define TRELVO_GLIBC_CPU_FEATURES 1
#include <sys/platform/x86.h>
#endif

namespace trelvo::kernels {
namespace {

// ---------------------------------------------------------------------------
// The vector code in use.

#ifdef TRELVO_GLIBC_CPU_FEATURES
// The C library has read the processor's features once already, at start-up;
// asking them of it spares the program start the processor queries of
// __builtin_cpu_supports, which are slow under a hypervisor.
bool hasAvx512() {
  return CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512DQ) &&
         CPU_FEATURE_ACTIVE(AVX512VL) && CPU_FEATURE_ACTIVE(AVX512BW);
}
bool hasAvx2() { return CPU_FEATURE_ACTIVE(AVX2); }
void readCpuFeatures() {}
#else
bool hasAvx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}
bool hasAvx2() { return __builtin_cpu_supports("avx2"); }
void readCpuFeatures() { __builtin_cpu_init(); }
#endif
bool always() { return true; }

struct Variant {
  const isa::Isa* table;
  bool (*supported)();
};

const Variant kVariants[] = {
    {&isa::kAvx512, hasAvx512}, {&isa::kAvx2, hasAvx2}, {&isa::kGeneric, always}};

const isa::Isa* widestSupported() {
  readCpuFeatures();
  for (const Variant& v : kVariants) {
    if (v.supported()) return v.table;
  }
  return &isa::kGeneric;
}

const isa::Isa*& selectedIsa() {
  static const isa::Isa* selected = widestSupported();
  return selected;
}

const isa::Isa& activeIsa() { return *selectedIsa(); }

// ---------------------------------------------------------------------------
// A second core, for work long enough to pay for waking it (about 1 ms).

constexpr int64_t kSecondCoreWork = int64_t{24} << 20;  // multiply-adds

bool& secondCoreAllowed() {
  static bool allowed = true;
  return allowed;
}

// One persistent thread: starting a thread per call would cost a good part
// of what the split saves.
class Worker {
 public:
  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

  /// Runs task(1) on the worker and task(0) here; returns when both are
  /// done. When the thread cannot be started (no room for its stack), both
  /// run here, one after the other.
  void runPair(const std::function<void(int)>& task) {
    if (!started()) {
      task(0);
      task(1);
      return;
    }
    {
      std::lock_guard lock(mutex_);
      task_ = &task;
      ++posted_;
    }
    wake_.notify_one();
    task(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_ == posted_; });
  }

 private:
  bool started() {
    if (thread_.joinable()) return true;
    try {
      thread_ = std::thread([this] { serve(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  void serve() {
    uint64_t seen = 0;
    for (;;) {
      const std::function<void(int)>* task = nullptr;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || posted_ != seen; });
        if (stop_) return;
        seen = posted_;
        task = task_;
      }
      (*task)(1);
      {
        std::lock_guard lock(mutex_);
        finished_ = seen;
      }
      done_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::thread thread_;
  const std::function<void(int)>* task_ = nullptr;
  uint64_t posted_ = 0;
  uint64_t finished_ = 0;
  bool stop_ = false;
};

int partsFor(int64_t work) {
  static const bool twoCores = std::thread::hardware_concurrency() > 1;
  return secondCoreAllowed() && twoCores && work >= kSecondCoreWork ? 2 : 1;
}

/// Runs task(part) for each of `parts` parts (1 or 2), side by side.
void runParts(int parts, const std::function<void(int)>& task) {
  static Worker worker;
  if (parts == 1) {
    task(0);
  } else {
    worker.runPair(task);
  }
}

/// Part `part` of `parts` of [0, count), split at a multiple of `grain`.
std::pair<int64_t, int64_t> shareOf(int64_t count, int part, int parts, int64_t grain) {
  int64_t half = (count / 2 + grain - 1) / grain * grain;
  int64_t split = parts == 1 ? count : std::min(count, half);
  return part == 0 ? std::pair{int64_t{0}, split} : std::pair{split, count};
}

// ---------------------------------------------------------------------------
// Packing for the register tiles: panels of `tile` rows (or columns), with
// the depth index outermost inside a panel, padded with zeros.

int64_t roundUp(int64_t x, int64_t step) { return (x + step - 1) / step * step; }

template <class T>
void packRows(const T* src, int64_t ld, int64_t rows, int64_t depth, int tile, T* dst) {
  for (int64_t p = 0; p < rows; p += tile) {
    for (int64_t l = 0; l < depth; ++l) {
      for (int64_t r = 0; r < tile; ++r) *dst++ = p + r < rows ? src[(p + r) * ld + l] : T{};
    }
  }
}

void packColumns(const float* src, int64_t ld, int64_t depth, int64_t cols, int tile, float* dst) {
  for (int64_t q = 0; q < cols; q += tile) {
    const int64_t width = std::min<int64_t>(tile, cols - q);
    for (int64_t l = 0; l < depth; ++l) {
      const float* from = src + l * ld + q;
      std::copy(from, from + width, dst);
      std::fill(dst + width, dst + tile, 0.0f);
      dst += tile;
    }
  }
}

// One object per part, each built in place: copies of one would write all
// their buffers once more (megabytes of fresh pages for the product).
template <class T, class... Args>
std::vector<T> onePerPart(int parts, const Args&... args) {
  std::vector<T> each;
  each.reserve(static_cast<size_t>(parts));
  for (int part = 0; part < parts; ++part) each.emplace_back(args...);
  return each;
}

// Block sizes: a packed column panel (depth x tile columns) stays in the
// first-level cache, a packed row block in the second.
constexpr int64_t kDepth = 256;
constexpr int64_t kBlockRows = 960;  // a multiple of every tile's rows
constexpr int64_t kBlockCols = 2048;

struct PackBuffers {
  PackBuffers(const isa::Isa& x, int64_t depth)
      : rows(roundUp(kBlockRows, x.tileRows) * depth),
        rowSkips(rows.size()),
        cols(roundUp(kBlockCols, x.tileCols) * depth) {}
  std::vector<float> rows;
  std::vector<uint8_t> rowSkips;
  std::vector<float> cols;
};

// ---------------------------------------------------------------------------
// The product.

void multiplyRows(const isa::Isa& x, const float* f, const float* s, float* p, int64_t firstRow,
                  int64_t endRow, int64_t inner, int64_t cols2, PackBuffers& buffers) {
  std::fill(p + firstRow * cols2, p + endRow * cols2, 0.0f);
  for (int64_t jc = 0; jc < cols2; jc += kBlockCols) {
    const int64_t nc = std::min(kBlockCols, cols2 - jc);
    for (int64_t pc = 0; pc < inner; pc += kDepth) {
      const int64_t kc = std::min(kDepth, inner - pc);
      packColumns(s + pc * cols2 + jc, cols2, kc, nc, x.tileCols, buffers.cols.data());
      for (int64_t ic = firstRow; ic < endRow; ic += kBlockRows) {
        const int64_t mc = std::min(kBlockRows, endRow - ic);
        packRows(f + ic * inner + pc, inner, mc, kc, x.tileRows, buffers.rows.data());
        x.productBlock(mc, nc, kc, buffers.rows.data(), buffers.cols.data(), p + ic * cols2 + jc,
                       cols2);
      }
    }
  }
}

void multiplyBlocked(const isa::Isa& x, const float* f, const float* s, float* p, int64_t rows,
                     int64_t inner, int64_t cols2) {
  const int parts = partsFor(rows * inner * cols2);
  std::vector<PackBuffers> buffers = onePerPart<PackBuffers>(parts, x, kDepth);
  runParts(parts, [&](int part) {
    auto [first, end] = shareOf(rows, part, parts, x.tileRows);
    multiplyRows(x, f, s, p, first, end, inner, cols2, buffers[part]);
  });
}

// ---------------------------------------------------------------------------
// The reduction, blocked.
//
// Row i's entry in column c takes, at each column step j whose entry a[i][j]
// is non-zero, the term a[j][c] * factor. Taken over a panel of steps, those
// terms are a product block (pivot rows times factors, steps ascending), so
// they can wait and be added together at the end of the panel, while the
// panel's own columns, the pivot rows and the diagonal are kept up to date
// step by step. The sweep does nothing as long as every diagonal entry is
// non-zero; when one is zero, the waiting terms are added first and the
// plain sweep runs on the whole matrix, and a new panel starts.
//
// For the diagonal alone, as long as the sweep does nothing the columns left
// of a step's pivot are never read again (only an exchange's sweep reads
// them), so the steps after the first few update only the columns right of
// their pivot. A sweep after step j that meets zeros only at k > j reads
// column k of rows below k, all right of the pivot and up to date; it
// exchanges whole rows, but their stale left parts are never read either.
// So when a zero turns up on the diagonal inside a panel, the panel's
// columns go back to what they were at its start and the panel runs again
// step by step with its sweeps, still right of the pivot only. Only a zero
// at k <= j (a zero pivot with nothing below it at its own step) would make
// a sweep read stale columns: there the reduction stops and reports the
// step.

constexpr int64_t kPanel = 64;
constexpr int kDiagonalOnlyTries = 4;

class BlockedReduction {
 public:
  BlockedReduction(const isa::Isa& x, float* a, int64_t n, int& sign)
      : x_(x),
        a_(a),
        n_(n),
        sign_(sign),
        factors_(n * kPanel),
        skips_(n * kPanel),
        diagonal_(n),
        kept_(2 * n * kPanel),
        buffers_(onePerPart<PackBuffers>(2, x, kPanel)) {}

  /// The first `exactSteps` steps over every column with their sweeps, the
  /// others right of the pivot only. False when the latter stopped at a
  /// sweep that may act (the matrix is then in no useful state): stopStep()
  /// tells after which step.
  bool run(int64_t exactSteps) {
    int64_t j = 0;
    while (j < std::min(exactSteps, n_)) j = runPanel(j, exactSteps);
    if (j >= n_) return true;
    rightOnly_ = true;
    // A zero on the diagonal up to here is met by every later sweep, its
    // row no longer changing.
    if (zeroOnDiagonalIn(0, j)) {
      stopStep_ = n_ - 1;
      return false;
    }
    while (j < n_) j = runPanelRightOfPivot(j);
    return stopStep_ == kNone;
  }

  int64_t stopStep() const { return stopStep_; }

 private:
  float* row(int64_t i) { return a_ + i * n_; }
  int64_t slot(int64_t i, int64_t j) const { return i * kPanel + (j - first_); }

  // Runs the column steps from `first` to the panel's end (at `limit` at
  // the latest), or to the first step after which the sweep may act;
  // returns the next step.
  int64_t runPanel(int64_t first, int64_t limit) {
    first_ = first;
    end_ = std::min({first + kPanel, limit, n_});
    for (int64_t k = end_; k < n_; ++k) diagonal_[k] = row(k)[k];
    for (int64_t j = first_; j < end_; ++j) {
      bringUpToDate(j);
      eliminateInPanel(j);
      if (sweepMayAct()) {
        if (rightOnly_ && zeroOnDiagonalIn(0, j + 1)) return stopAfter(j);
        addWaitingTerms(j);
        reference::pivotSweep(a_, n_, sign_);
        return j + 1;
      }
    }
    addWaitingTerms(end_ - 1);
    return end_;
  }

  // Right of the pivot only: the panel's rows one after the other, each a
  // pivot row of the next, then the rows below side by side, each taking
  // all the panel's steps in the panel's columns; then the waiting terms.
  // When a zero diagonal entry turns up after any step (or is there
  // already), the panel goes again with its sweeps.
  int64_t runPanelRightOfPivot(int64_t first) {
    first_ = first;
    end_ = std::min(first + kPanel, n_);
    // A panel without zeros leaves none on the diagonal (the rows below
    // kept theirs up to date), so only one after sweeps needs the look.
    if (zeroMayBeOnDiagonal_ && zeroOnDiagonalIn(first_, n_)) return runPanel(first_, n_);
    zeroMayBeOnDiagonal_ = false;
    keepOrRestoreRows(first_, end_, true);
    for (int64_t j = first_; j < end_; ++j) {
      if (takePanelSteps(j) != kNone) return againWithSweeps(end_);
      bringUpToDate(j);
    }
    const int64_t rows = n_ - end_;
    const int parts = partsFor(rows * (n_ - end_) * (end_ - first_));
    bool zeroMet[2] = {false, false};
    runParts(parts, [&](int part) {
      auto [begin, end] = shareOf(rows, part, parts, 1);
      keepOrRestoreRows(end_ + begin, end_ + end, true);
      for (int64_t i = end_ + begin; i < end_ + end && !zeroMet[part]; ++i) {
        zeroMet[part] = takePanelSteps(i) != kNone;
      }
    });
    if (zeroMet[0] || zeroMet[1]) return againWithSweeps(n_);
    addWaitingTerms(end_ - 1);
    return end_;
  }

  // Before the waiting terms the panel has changed only its own columns and
  // its own rows right of them, in the rows kept, first_ to `keptEnd` - 1.
  int64_t againWithSweeps(int64_t keptEnd) {
    keepOrRestoreRows(first_, keptEnd, false);
    zeroMayBeOnDiagonal_ = true;
    return runPanel(first_, n_);
  }

  // The panel's rows from its first column on, the rows below in its columns.
  void keepOrRestoreRows(int64_t from, int64_t to, bool keep) {
    const int64_t width = end_ - first_;
    for (int64_t i = from; i < to; ++i) {
      const bool panelRow = i < end_;
      const int64_t length = panelRow ? n_ - first_ : width;
      float* kept = kept_.data() + (panelRow ? (i - first_) * (n_ - first_)
                                             : width * (n_ - first_) + (i - end_) * width);
      if (keep) {
        std::copy(row(i) + first_, row(i) + first_ + length, kept);
      } else {
        std::copy(kept, kept + length, row(i) + first_);
      }
    }
  }

  // Whether a sweep would find a zero at some k from `begin` to `end` - 1.
  bool zeroOnDiagonalIn(int64_t begin, int64_t end) {
    for (int64_t k = begin; k < std::min(end, n_ - 1); ++k) {
      if (isZero(row(k)[k])) return true;
    }
    return false;
  }

  int64_t stopAfter(int64_t step) {
    stopStep_ = step;
    return n_;
  }

  // Row i takes the panel's steps before it in the panel's columns, keeping
  // its factors; returns the step after which its diagonal entry is zero,
  // if one is (kNone if none). The columns from the panel's first are taken
  // in whole vectors: those left of a step's pivot are never read again.
  int64_t takePanelSteps(int64_t i) {
    float* target = row(i);
    float diagonal = target[i];  // beyond the panel, kept up to date here
    for (int64_t s = first_; s < std::min(i, end_); ++s) {
      skips_[slot(i, s)] = isZero(target[s]);
      if (isZero(target[s])) continue;
      const float* pivot = row(s);
      const float factor = -target[s] / pivot[s];
      factors_[slot(i, s)] = factor;
      const int64_t from = first_ + (s + 1 - first_) / x_.tileCols * x_.tileCols;
      x_.rowUpdate(target + from, pivot + from, factor, end_ - from);
      if (i >= end_) diagonal = sumInOrder(productInOrder(pivot[i], factor), diagonal);
      if (i + 1 < n_ && isZero(i < end_ ? target[i] : diagonal)) return s;
    }
    return kNone;
  }

  void updateOutsidePanel(float* target, const float* pivot, float factor) {
    if (!rightOnly_) x_.rowUpdate(target, pivot, factor, first_);
    x_.rowUpdate(target + end_, pivot + end_, factor, n_ - end_);
  }

  // Pivot row j takes the terms of the panel's earlier steps.
  void bringUpToDate(int64_t j) {
    for (int64_t s = first_; s < j; ++s) {
      if (!skips_[slot(j, s)]) updateOutsidePanel(row(j), row(s), factors_[slot(j, s)]);
    }
  }

  void eliminateInPanel(int64_t j) {
    const float* pivot = row(j);
    for (int64_t i = j + 1; i < n_; ++i) {
      float* target = row(i);
      skips_[slot(i, j)] = isZero(target[j]);
      if (isZero(target[j])) continue;
      const float factor = -target[j] / pivot[j];
      factors_[slot(i, j)] = factor;
      x_.rowUpdate(target + first_, pivot + first_, factor, end_ - first_);
      if (i >= end_) diagonal_[i] = sumInOrder(productInOrder(pivot[i], factor), diagonal_[i]);
    }
  }

  bool sweepMayAct() {
    for (int64_t k = 0; k + 1 < n_; ++k) {
      // Rows up to j are up to date, and so are the panel's columns.
      const float entry = k < end_ ? row(k)[k] : diagonal_[k];
      if (isZero(entry)) return true;
    }
    return false;
  }

  // Rows below `last` take the terms of steps first_ to `last` outside the
  // panel's columns.
  void addWaitingTerms(int64_t last) {
    const int64_t firstRow = last + 1;
    const int64_t rows = n_ - firstRow;
    const int64_t depth = last - first_ + 1;
    if (rows <= 0) return;
    const int parts = partsFor(rows * n_ * depth);
    runParts(parts, [&](int part) {
      auto [begin, end] = shareOf(rows, part, parts, x_.tileRows);
      addWaitingTermsTo(firstRow + begin, firstRow + end, depth, buffers_[part]);
    });
  }

  void addWaitingTermsTo(int64_t firstRow, int64_t endRow, int64_t depth, PackBuffers& buffers) {
    const std::pair<int64_t, int64_t> ranges[] = {{0, rightOnly_ ? 0 : first_}, {end_, n_}};
    for (auto [begin, end] : ranges) {
      for (int64_t jc = begin; jc < end; jc += kBlockCols) {
        const int64_t nc = std::min(kBlockCols, end - jc);
        packColumns(row(first_) + jc, n_, depth, nc, x_.tileCols, buffers.cols.data());
        for (int64_t ic = firstRow; ic < endRow; ic += kBlockRows) {
          const int64_t mc = std::min(kBlockRows, endRow - ic);
          const uint8_t* skips = packFactors(ic, mc, depth, buffers);
          x_.updateBlock(mc, nc, depth, buffers.rows.data(), buffers.cols.data(), skips,
                         row(ic) + jc, n_);
        }
      }
    }
  }

  // Packs the factors of rows ic to ic + mc; returns their packed skips, or
  // null when no term is skipped.
  const uint8_t* packFactors(int64_t ic, int64_t mc, int64_t depth, PackBuffers& buffers) {
    packRows(factors_.data() + slot(ic, first_), kPanel, mc, depth, x_.tileRows,
             buffers.rows.data());
    bool anySkip = false;
    for (int64_t i = ic; i < ic + mc && !anySkip; ++i) {
      const uint8_t* skips = skips_.data() + slot(i, first_);
      anySkip = std::find(skips, skips + depth, 1) != skips + depth;
    }
    if (!anySkip) return nullptr;
    packRows(skips_.data() + slot(ic, first_), kPanel, mc, depth, x_.tileRows,
             buffers.rowSkips.data());
    return buffers.rowSkips.data();
  }

  const isa::Isa& x_;
  float* a_;
  int64_t n_;
  int& sign_;
  static constexpr int64_t kNone = INT64_MAX;
  bool rightOnly_ = false;
  bool zeroMayBeOnDiagonal_ = true;
  int64_t stopStep_ = kNone;
  int64_t first_ = 0;  // the panel's steps (and columns): first_ to end_ - 1
  int64_t end_ = 0;
  std::vector<float> factors_;   // per row, the factor of each step of the panel
  std::vector<uint8_t> skips_;   // per row, 1 where a step left the row alone
  std::vector<float> diagonal_;  // a[k][k] up to date, for k beyond the panel
  std::vector<float> kept_;      // the panel's rows and columns at its start, right of the pivot
  std::vector<PackBuffers> buffers_;
};

// ---------------------------------------------------------------------------
// The determinants of the minors.

// The minor of a (n x n) without row i and column j, into `minor`.
void buildMinor(const float* a, int64_t n, int64_t i, int64_t j, float* minor) {
  for (int64_t p = 0; p < n; ++p) {
    if (p == i) continue;
    for (int64_t q = 0; q < n; ++q) {
      if (q != j) *minor++ = a[p * n + q];
    }
  }
}

// A shortcut's answer, when one applies to the m x m `minor`.
bool shortcut(const float* minor, int64_t m, float& det) {
  if (m == 1) {
    det = minor[0];
  } else if (hasZeroRowOrColumn(minor, m)) {
    det = 0.0f;
  } else {
    return false;
  }
  return true;
}

// The plain reduction of an m x m `minor` (overwritten): sign times the
// diagonal product.
float reducedDeterminant(float* minor, int64_t m) {
  int sign = 1;
  reference::pivotSweep(minor, m, sign);
  reference::reduceColumns(minor, m, sign);
  return static_cast<float>(sign) * diagonalProduct(minor, m);
}

// Which minors have an all-zero row or column, read from the zeros of the
// whole matrix: a row of the minor without column j is all zero when its
// row of the matrix has no non-zero entry, or only one, in column j (and
// the same for columns).
class ZeroLinesOfMinors {
 public:
  ZeroLinesOfMinors(const float* a, int64_t n) : rows_(a, n, n, 1), cols_(a, n, 1, n) {}

  bool minorHasOne(int64_t i, int64_t j) const {
    return rows_.zeroWithout(i, j) || cols_.zeroWithout(j, i);
  }

 private:
  struct Lines {
    Lines(const float* a, int64_t n, int64_t lineStep, int64_t entryStep)
        : nonZeros(n), onlyNonZero(n, -1), singlesAt(n) {
      for (int64_t line = 0; line < n; ++line) {
        for (int64_t e = 0; e < n; ++e) {
          if (isZero(a[line * lineStep + e * entryStep])) continue;
          ++nonZeros[line];
          onlyNonZero[line] = e;
        }
        if (nonZeros[line] == 0) ++zeroLines;
        if (nonZeros[line] == 1) ++singlesAt[onlyNonZero[line]];
      }
    }

    // Whether a line other than `line` is all zero without entry `entry`.
    bool zeroWithout(int64_t line, int64_t entry) const {
      const bool single = nonZeros[line] == 1 && onlyNonZero[line] == entry;
      return zeroLines - (nonZeros[line] == 0) > 0 || singlesAt[entry] - single > 0;
    }

    std::vector<int64_t> nonZeros;     // per line
    std::vector<int64_t> onlyNonZero;  // per line, its last non-zero entry
    std::vector<int64_t> singlesAt;    // per entry, the lines whose only non-zero it is
    int64_t zeroLines = 0;
  };

  Lines rows_;
  Lines cols_;
};

// The steps taken as the plain code takes them, every column and every
// sweep, when a lane meets a zero diagonal entry (integer data meets its
// zeros in the first steps, mostly).
constexpr int64_t kExactStepsOnZero = 3;

// Lanes of the batch, each given one minor to reduce.
struct MinorBatch {
  MinorBatch(int64_t n, int lanes)
      : work(isa::minorWorkFloats(n - 1, lanes)),
        rows(lanes),
        cols(lanes),
        positions(lanes),
        det(lanes) {}
  std::vector<float> work;
  std::vector<int32_t> rows;
  std::vector<int32_t> cols;
  std::vector<int64_t> positions;
  std::vector<float> det;
  int64_t reduced = 0;    // batches so far
  int64_t wentAgain = 0;  // of which went again
};

// Reduces the batch's first `used` lanes, writes their results. Lanes that
// meet a zero diagonal entry go again with their first steps as the plain
// code takes them (where integer data meets its zeros), and those that meet
// one later again with every step so. When many batches have gone again,
// the next ones start with those first steps (a structure shared by many
// minors gives them all the same zero).
void reduceBatch(const isa::Isa& x, const float* a, int64_t n, MinorBatch& batch, int used,
                 float* det) {
  // Idle lanes repeat the first lane's minor.
  std::fill(batch.rows.begin() + used, batch.rows.end(), batch.rows[0]);
  std::fill(batch.cols.begin() + used, batch.cols.end(), batch.cols[0]);
  uint32_t pending = used == 32 ? ~uint32_t{0} : (uint32_t{1} << used) - 1;
  const bool exactFirst = batch.wentAgain * 8 > batch.reduced;
  ++batch.reduced;
  const int64_t tries[] = {exactFirst ? kExactStepsOnZero : 0, kExactStepsOnZero, n - 1};
  for (int k = 0; k < 3; ++k) {
    const int64_t exactSteps = tries[k];
    if (k > 0 && exactSteps == tries[k - 1]) continue;
    const uint32_t fallback = x.minorDeterminants(a, n, batch.rows.data(), batch.cols.data(),
                                                  exactSteps, batch.work.data(), batch.det.data());
    for (int t = 0; t < used; ++t) {
      if ((pending & ~fallback) >> t & 1) det[batch.positions[t]] = batch.det[t];
    }
    pending &= fallback;
    if (pending == 0) return;
    if (exactSteps == 0) ++batch.wentAgain;
  }
}

void minorDeterminantsOfRange(const isa::Isa& x, const float* a, int64_t n, int64_t begin,
                              int64_t end, const ZeroLinesOfMinors& zeroLines, MinorBatch& batch,
                              float* det, uint8_t* reduced) {
  int used = 0;
  for (int64_t position = begin; position < end; ++position) {
    const int64_t i = position / n;
    const int64_t j = position % n;
    reduced[position] = !zeroLines.minorHasOne(i, j);
    if (!reduced[position]) {
      det[position] = 0.0f;
      continue;
    }
    batch.rows[used] = static_cast<int32_t>(i);
    batch.cols[used] = static_cast<int32_t>(j);
    batch.positions[used++] = position;
    if (used == x.lanes) {
      reduceBatch(x, a, n, batch, used, det);
      used = 0;
    }
  }
  if (used > 0) reduceBatch(x, a, n, batch, used, det);
}

// True when the n entries first[0], first[step], ... are all zero.
bool isZeroLine(const float* first, int64_t n, int64_t step) {
  for (int64_t k = 0; k < n; ++k) {
    if (!isZero(first[k * step])) return false;
  }
  return true;
}

// Below these sizes the plain code is as fast.
constexpr int64_t kBlockedReductionSide = 48;
constexpr int64_t kBlockedProductWork = int64_t{1} << 15;
constexpr int64_t kBatchedMinorSide = 6;

}  // namespace

// ---------------------------------------------------------------------------

float diagonalProduct(const float* a, int64_t n) {
  float product = 1.0f;
  for (int64_t d = 0; d < n; ++d) product = productInOrder(product, a[d * n + d]);
  return product;
}

bool hasZeroRowOrColumn(const float* a, int64_t n) {
  for (int64_t line = 0; line < n; ++line) {
    if (isZeroLine(a + line * n, n, 1) || isZeroLine(a + line, n, n)) return true;
  }
  // With n == 0 there is no line at all, and the answer is still yes.
  return n == 0;
}

namespace reference {
namespace {

void exchangeRows(float* a, int64_t n, int64_t r, int64_t s) {
  std::swap_ranges(a + r * n, a + r * n + n, a + s * n);
}

}  // namespace

void pivotSweep(float* a, int64_t n, int& sign) {
  for (int64_t k = 0; k + 1 < n; ++k) {
    if (!isZero(a[k * n + k])) continue;
    for (int64_t p = k + 1; p < n; ++p) {
      if (isZero(a[p * n + k])) continue;
      sign = -sign;
      exchangeRows(a, n, k, p);
    }
  }
}

void eliminateColumn(float* a, int64_t n, int64_t j) {
  const float* pivotRow = a + j * n;
  for (int64_t i = j + 1; i < n; ++i) {
    float* row = a + i * n;
    if (isZero(row[j])) continue;
    float factor = -row[j] / pivotRow[j];
    for (int64_t c = 0; c < n; ++c)
      row[c] = sumInOrder(productInOrder(pivotRow[c], factor), row[c]);
  }
}

void reduceColumns(float* a, int64_t n, int& sign) {
  for (int64_t j = 0; j < n; ++j) {
    eliminateColumn(a, n, j);
    pivotSweep(a, n, sign);
  }
}

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner,
              int64_t cols2) {
  for (int64_t i = 0; i < rows; ++i) {
    for (int64_t j = 0; j < cols2; ++j) {
      float sum = 0.0f;
      for (int64_t l = 0; l < inner; ++l) {
        sum = sumInOrder(productInOrder(f[i * inner + l], s[l * cols2 + j]), sum);
      }
      p[i * cols2 + j] = sum;
    }
  }
}

void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced) {
  const int64_t m = n - 1;
  std::vector<float> minor(m * m);
  for (int64_t position = 0; position < n * n; ++position) {
    buildMinor(a, n, position / n, position % n, minor.data());
    reduced[position] = !shortcut(minor.data(), m, det[position]);
    if (reduced[position]) det[position] = reducedDeterminant(minor.data(), m);
  }
}

}  // namespace reference

namespace blocked {

void reduceColumns(float* a, int64_t n, int& sign) {
  BlockedReduction(activeIsa(), a, n, sign).run(n);
}

void reduceDiagonal(float* a, int64_t n, int& sign, const std::function<void()>& restore) {
  // When a sweep would read columns left of the pivot (a zero pivot with
  // nothing below it), again from the start, with every column up to that
  // step; after a few tries, every step so.
  const int signBefore = sign;
  int64_t exactSteps = 0;
  for (int tries = 0; tries < kDiagonalOnlyTries; ++tries) {
    BlockedReduction reduction(activeIsa(), a, n, sign);
    if (reduction.run(exactSteps)) return;
    exactSteps = reduction.stopStep() + 1;
    restore();
    sign = signBefore;
  }
  reduceColumns(a, n, sign);
}

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner,
              int64_t cols2) {
  multiplyBlocked(activeIsa(), f, s, p, rows, inner, cols2);
}

}  // namespace blocked

void pivotSweep(float* a, int64_t n, int& sign) { reference::pivotSweep(a, n, sign); }

void eliminateColumn(float* a, int64_t n, int64_t j) {
  const float* pivotRow = a + j * n;
  for (int64_t i = j + 1; i < n; ++i) {
    float* row = a + i * n;
    if (isZero(row[j])) continue;
    activeIsa().rowUpdate(row, pivotRow, -row[j] / pivotRow[j], n);
  }
}

void reduceColumns(float* a, int64_t n, int& sign) {
  if (n >= kBlockedReductionSide) {
    blocked::reduceColumns(a, n, sign);
  } else {
    reference::reduceColumns(a, n, sign);
  }
}

void reduceDiagonal(float* a, int64_t n, int& sign, const std::function<void()>& restore) {
  if (n >= kBlockedReductionSide) {
    blocked::reduceDiagonal(a, n, sign, restore);
  } else {
    reference::reduceColumns(a, n, sign);
  }
}

void multiply(const float* f, const float* s, float* p, int64_t rows, int64_t inner,
              int64_t cols2) {
  if (rows * inner * cols2 >= kBlockedProductWork) {
    blocked::multiply(f, s, p, rows, inner, cols2);
  } else {
    reference::multiply(f, s, p, rows, inner, cols2);
  }
}

void minorDeterminants(const float* a, int64_t n, float* det, uint8_t* reduced) {
  if (n - 1 < kBatchedMinorSide) {
    reference::minorDeterminants(a, n, det, reduced);
    return;
  }
  const isa::Isa& x = activeIsa();
  const int64_t positions = n * n;
  const ZeroLinesOfMinors zeroLines(a, n);
  const int parts = partsFor(positions * (n - 1) * (n - 1) * (n - 1) / 3);
  std::vector<MinorBatch> batches = onePerPart<MinorBatch>(parts, n, x.lanes);
  // The parts take a few batches' positions at a time, as they come free:
  // lanes that go again make some batches much longer than others.
  const int64_t chunk = 4 * x.lanes;
  std::atomic<int64_t> next = 0;
  runParts(parts, [&](int part) {
    for (int64_t begin = next.fetch_add(chunk); begin < positions; begin = next.fetch_add(chunk)) {
      const int64_t end = std::min(begin + chunk, positions);
      minorDeterminantsOfRange(x, a, n, begin, end, zeroLines, batches[part], det, reduced);
    }
  });
}

std::vector<std::string_view> availableVariants() {
  std::vector<std::string_view> names;
  for (const Variant& v : kVariants) {
    if (v.supported()) names.emplace_back(v.table->name);
  }
  return names;
}

bool selectVariant(std::string_view name) {
  for (const Variant& v : kVariants) {
    if (v.table->name != name) continue;
    if (!v.supported()) return false;
    selectedIsa() = v.table;
    return true;
  }
  return false;
}

void allowSecondCore(bool allow) { secondCoreAllowed() = allow; }

}  // namespace trelvo::kernels
