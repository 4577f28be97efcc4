#include "kernels/minors/swept_minors.h"

#include <algorithm>
#include <utility>

#include "kernels/exact/exact_zeros.h"
#include "kernels/kernels.h"
#include "kernels/row_order.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels::minors {
namespace {

// Below this many minors in a row, each going its own way is as fast.
constexpr int64_t kSweptRowMinors = 4;
// Below this many minors in a set, each goes on as a set of its own.
constexpr int64_t kFewMembers = 2;
// The room that the sets of one row waiting their turn may take, at most:
// on a large matrix, sets parted from sets parted from others could else
// take more than the machine has.
constexpr int64_t kWaitingSetsBytes = int64_t{64} << 20;

// The matrix without row i, its missing row last and zero (square, so that
// the steps and the residues of a square matrix serve), after `steps`
// column steps and the sweeps after them, as each minor without one of the
// columns `members` takes them.
struct SweptSteps {
  std::vector<float> a;
  ExactResidues exact;
  std::vector<int64_t> members;  // ascending
  // Within a sweep, the row of `a` at each position: the sweep's
  // exchanges move only these (the residues keep an order of their own),
  // and its end the rows (place()).
  RowOrder order;
  int64_t steps = 0;
  int sign = 1;
  float before = 1.0f;  // the product of the diagonal entries left of the steps to come
  // When not -1: the set is the one minor without this column, moved into
  // the place of the minor without the last one (its only member).
  int64_t ownColumn = -1;
  // The column of the whole matrix that member j leaves out.
  int64_t leftOut(int64_t j) const { return ownColumn >= 0 ? ownColumn : j; }
};

// What a sweep does at one position, for one column, to the set's state:
// when the diagonal entry counts as zero, the exchange of row k with each
// row of `rows` in turn, or, when there is none, the entries of the column
// from the diagonal down that count as zero but whose float is not, made
// +0.0 (`cleared`). Two decisions that do the same leave the same state,
// whatever they tested.
struct Decision {
  std::vector<int64_t> rows;
  int64_t column = 0;
  std::vector<int64_t> cleared;

  bool operator==(const Decision& other) const {
    return rows == other.rows && cleared == other.cleared &&
           (cleared.empty() || column == other.column);
  }
};

class SweptRow {
 public:
  SweptRow(const isa::Isa& x, const Minors& m, MinorBatch& batch, std::vector<SweptRoom>& rooms,
           int64_t i, float* det)
      : x_(x),
        m_(m),
        n_(m.n),
        batch_(batch),
        rooms_(rooms),
        i_(i),
        det_(det),
        maxWaiting_(std::max<int64_t>(1, kWaitingSetsBytes / (n_ * n_ * kBytesPerEntry))),
        laneDet_(x.lanes) {}

  void reduce(const std::vector<int64_t>& cols);

 private:
  struct Pending {
    SweptSteps steps;
    int64_t sweepFrom;
  };

  SweptSteps startWithoutRow(const std::vector<int64_t>& cols);
  SweptSteps copyOf(const SweptSteps& s);
  SweptRoom takeRoom();
  void giveBack(SweptSteps& s);
  void sweepFrom(SweptSteps& s, int64_t first);
  bool countsAsZero(const SweptSteps& s, int64_t p, int64_t column) const;
  Decision decide(const SweptSteps& s, int64_t k, int64_t column) const;
  void settle(SweptSteps& s, int64_t k, const Decision& d);
  void place(SweptSteps& s) const;
  void partAlone(SweptSteps& s);
  void leaveOutOwnColumn(SweptSteps& s) const;
  void goOn(SweptSteps& s);
  void step(SweptSteps& s) const;
  void takeLanes(SweptSteps& s);
  float alone(const SweptSteps& s, int64_t j);
  float& detOf(int64_t j) { return det_[i_ * n_ + j]; }

  // A float and its residues modulo both primes.
  static constexpr int64_t kBytesPerEntry = sizeof(float) + 2 * sizeof(double);

  const isa::Isa& x_;
  const Minors& m_;
  int64_t n_;
  MinorBatch& batch_;
  std::vector<SweptRoom>& rooms_;
  int64_t i_;
  float* det_;
  int64_t maxWaiting_;
  std::vector<Pending> pending_;  // sets parted from others, their sweep to go on
  std::vector<float> block_;
  std::vector<double> blockResidues_;
  std::vector<float> laneDet_;
};

void SweptRow::reduce(const std::vector<int64_t>& cols) {
  pending_.push_back({startWithoutRow(cols), 0});
  while (!pending_.empty()) {
    Pending p = std::move(pending_.back());
    pending_.pop_back();
    sweepFrom(p.steps, p.sweepFrom);
    goOn(p.steps);
    giveBack(p.steps);
  }
}

SweptRoom SweptRow::takeRoom() {
  if (rooms_.empty())
    return {std::vector<float>(n_ * n_), std::vector<double>(n_ * n_),
            std::vector<double>(n_ * n_)};
  SweptRoom room = std::move(rooms_.back());
  rooms_.pop_back();
  return room;
}

void SweptRow::giveBack(SweptSteps& s) {
  auto [first, second] = std::move(s.exact).release();
  rooms_.push_back({std::move(s.a), std::move(first), std::move(second)});
}

SweptSteps SweptRow::startWithoutRow(const std::vector<int64_t>& cols) {
  SweptRoom room = takeRoom();
  const int64_t last = (n_ - 1) * n_;
  for (int64_t r = 0; r * n_ < last; ++r) {
    const int64_t from = (r + (r >= i_)) * n_;
    std::copy_n(m_.a + from, n_, room.a.begin() + r * n_);
    std::copy_n(m_.residues.begin() + from, n_, room.first.begin() + r * n_);
    std::copy_n(m_.secondResidues.begin() + from, n_, room.second.begin() + r * n_);
  }
  std::fill(room.a.begin() + last, room.a.end(), 0.0f);
  std::fill(room.first.begin() + last, room.first.end(), 0.0);
  std::fill(room.second.begin() + last, room.second.end(), 0.0);
  SweptSteps s;
  s.order = RowOrder(n_);
  s.a = std::move(room.a);
  s.exact = ExactResidues(std::move(room.first), std::move(room.second), n_);
  s.members = cols;
  return s;
}

// The entries from the steps on, which are all that the steps, the sweeps
// and the minors read again.
SweptSteps SweptRow::copyOf(const SweptSteps& s) {
  SweptRoom room = takeRoom();
  const std::vector<double>& second = s.exact.secondResidues();
  const std::vector<double>& first = s.exact.firstResidues();
  const int64_t count = n_ - s.steps;
  for (int64_t r = s.steps; r < n_; ++r) {
    const int64_t at = r * n_ + s.steps;
    std::copy_n(s.a.begin() + s.order.at(r) * n_ + s.steps, count, room.a.begin() + at);
    std::copy_n(first.begin() + at, count, room.first.begin() + at);
    std::copy_n(second.begin() + at, count, room.second.begin() + at);
  }
  SweptSteps copy;
  copy.order = RowOrder(n_);
  copy.a = std::move(room.a);
  copy.exact = ExactResidues(std::move(room.first), std::move(room.second), n_);
  copy.steps = s.steps;
  copy.sign = s.sign;
  copy.before = s.before;
  copy.ownColumn = s.ownColumn;
  return copy;
}

// The sweep from position `first` to the last a minor's sweep visits. At
// position k the members left of k test column k + 1, the others column k.
void SweptRow::sweepFrom(SweptSteps& s, int64_t first) {
  for (int64_t k = first; k + 3 <= n_ && !s.members.empty(); ++k) {
    const bool right = s.members.back() > k;
    const bool left = s.members.front() <= k;
    // Mostly neither diagonal entry counts as zero, and the sweep does
    // nothing here.
    if ((!right || !countsAsZero(s, k, k)) && (!left || !countsAsZero(s, k, k + 1))) continue;
    const Decision high = right ? decide(s, k, k) : Decision{};
    const Decision low = left ? decide(s, k, k + 1) : Decision{};
    if (!right || !left || high == low) {
      settle(s, k, right ? high : low);
      continue;
    }
    const auto split = std::upper_bound(s.members.begin(), s.members.end(), k);
    if (static_cast<int64_t>(pending_.size()) < maxWaiting_) {
      SweptSteps part = copyOf(s);
      part.members.assign(s.members.begin(), split);
      settle(part, k, low);
      pending_.push_back({std::move(part), k + 1});
    } else {
      // Each goes alone from here, its own sweep taking this position on.
      place(s);
      std::for_each(s.members.begin(), split,
                    [&](int64_t j) { detOf(s.leftOut(j)) = alone(s, j); });
    }
    s.members.erase(s.members.begin(), split);
    settle(s, k, high);
  }
  place(s);
}

// The rows where the sweep's exchanges have put them.
void SweptRow::place(SweptSteps& s) const { s.order.applyTo(s.a.data(), n_); }

// The entry at position p of the column counts as zero.
bool SweptRow::countsAsZero(const SweptSteps& s, int64_t p, int64_t column) const {
  return s.a[s.order.at(p) * n_ + column] == 0.0f || s.exact.isExactZero(p, column);
}

Decision SweptRow::decide(const SweptSteps& s, int64_t k, int64_t column) const {
  Decision d;
  if (!countsAsZero(s, k, column)) return d;
  // The last row is the missing one.
  for (int64_t p = k + 1; p + 1 < n_; ++p) {
    if (!countsAsZero(s, p, column)) d.rows.push_back(p);
  }
  if (!d.rows.empty()) return d;
  d.column = column;
  for (int64_t p = k; p + 1 < n_; ++p) {
    if (s.a[s.order.at(p) * n_ + column] != 0.0f && s.exact.isExactZero(p, column)) {
      d.cleared.push_back(p);
    }
  }
  return d;
}

// The exchanges of row k with each row of d.rows in turn.
void SweptRow::settle(SweptSteps& s, int64_t k, const Decision& d) {
  for (int64_t p : d.rows) {
    s.order.exchange(k, p);
    s.exact.exchangeRows(k, p);
  }
  if (d.rows.size() % 2 == 1) s.sign = -s.sign;
  for (int64_t p : d.cleared) s.a[s.order.at(p) * n_ + d.column] = 0.0f;
}

// The steps up to each member's column, a batch of lanes at a time, the
// smallest columns first; the sweeps after them may part the set again.
void SweptRow::goOn(SweptSteps& s) {
  while (!s.members.empty()) {
    if (static_cast<int64_t>(s.members.size()) < kFewMembers && s.ownColumn < 0) {
      partAlone(s);
      continue;
    }
    // The lanes' blocks have a side of at least 3.
    if (s.steps == std::min(s.members.front(), n_ - 3)) {
      takeLanes(s);
      continue;
    }
    step(s);
    sweepFrom(s, s.steps);
  }
}

// Each member of a set of few goes on as a set of its own, which walks its
// minor's steps to the end: the lanes would take one minor in the time of
// many.
void SweptRow::partAlone(SweptSteps& s) {
  while (s.members.size() > 1 && static_cast<int64_t>(pending_.size()) < maxWaiting_) {
    SweptSteps part = copyOf(s);
    part.members = {s.members.back()};
    s.members.pop_back();
    leaveOutOwnColumn(part);
    // Its sweeps so far have been those of its minor.
    pending_.push_back({std::move(part), n_});
  }
  for (size_t t = 1; t < s.members.size(); ++t) {
    detOf(s.members[t]) = alone(s, s.members[t]);
  }
  s.members.resize(1);
  leaveOutOwnColumn(s);
}

// The set's only member's column out, the columns right of it each moved
// one to the left from the steps on: the member becomes the minor without
// the last column, whose last column is never read.
void SweptRow::leaveOutOwnColumn(SweptSteps& s) const {
  const int64_t j = s.members.front();
  s.ownColumn = j;
  s.members.front() = n_ - 1;
  if (j == n_ - 1) return;
  s.exact.secondResidues();
  auto [first, second] = std::move(s.exact).release();
  auto shift = [&](auto& values) {
    for (int64_t r = s.steps; r < n_; ++r) {
      const auto row = values.begin() + r * n_;
      std::copy(row + j + 1, row + n_, row + j);
    }
  };
  shift(s.a);
  shift(first);
  shift(second);
  s.exact = ExactResidues(std::move(first), std::move(second), n_);
}

// Column step k on the columns right of it. A pivot that counts as zero
// has only zeros below it, which the sweep left as floats +0.0: the step
// then changes no float.
void SweptRow::step(SweptSteps& s) const {
  const int64_t k = s.steps++;
  s.before = productInOrder(s.before, s.a[k * n_ + k]);
  eliminateRightOfPivot(s.a.data(), n_, k);
  s.exact.eliminateColumn(k, k + 1);
}

void SweptRow::takeLanes(SweptSteps& s) {
  const int64_t side = n_ - s.steps;
  const int used = static_cast<int>(std::min<int64_t>(x_.lanes, s.members.size()));
  std::vector<int32_t> rows(x_.lanes, static_cast<int32_t>(side - 1));
  std::vector<int32_t> cols(x_.lanes);
  for (int t = 0; t < used; ++t) cols[t] = static_cast<int32_t>(s.members[t] - s.steps);
  auto copyBlock = [&](const auto& from, auto& to) {
    to.resize(side * side);
    for (int64_t r = 0; r < side; ++r) {
      std::copy_n(from.begin() + (s.steps + r) * n_ + s.steps, side, to.begin() + r * side);
    }
    return to.data();
  };
  const uint32_t allLanes = used == 32 ? ~uint32_t{0} : (uint32_t{1} << used) - 1;
  const uint32_t fallback = reduceBlockLanes(
      x_, batch_, copyBlock(s.a, block_),
      [&] { return copyBlock(s.exact.firstResidues(), blockResidues_); }, side, s.before, rows,
      cols, used, allLanes, laneDet_.data());
  std::vector<int64_t> metZero;
  for (int t = 0; t < used; ++t) {
    const int64_t j = s.members[t];
    if (fallback >> t & 1) {
      metZero.push_back(j);
    } else {
      detOf(s.leftOut(j)) = productInOrder(static_cast<float>(s.sign), laneDet_[t]);
    }
  }
  s.members.erase(s.members.begin(), s.members.begin() + used);
  // Those whose lanes met a zero go on each as a set of its own (taken
  // again from later steps, their lanes would mostly meet it again).
  if (metZero.empty()) return;
  if (s.ownColumn >= 0 || static_cast<int64_t>(pending_.size()) >= maxWaiting_) {
    for (int64_t j : metZero) detOf(s.leftOut(j)) = alone(s, j);
    return;
  }
  SweptSteps part = copyOf(s);
  part.members = std::move(metZero);
  partAlone(part);
  pending_.push_back({std::move(part), n_});
}

// The minor without column j from the set's state on, one step at a time.
// Its own sweep comes first: where the set's sweeps have been for it, that
// changes nothing; where they have not yet, it takes them.
float SweptRow::alone(const SweptSteps& s, int64_t j) {
  // The block from the steps on: its last row is the missing one.
  const int64_t at = s.steps * n_ + s.steps;
  const int64_t block = n_ - s.steps;
  auto leaveOutOfBlock = [&](const auto& from, auto& to) {
    leaveOut(from.data() + at, n_, block, block - 1, j - s.steps, to.data());
  };
  batch_.makeRoomForMinor(block - 1);
  leaveOutOfBlock(s.a, batch_.minor);
  leaveOutOfBlock(s.exact.firstResidues(), batch_.minorFirst);
  leaveOutOfBlock(s.exact.secondResidues(), batch_.minorSecond);
  return reduceOneByOne(batch_, block - 1, s.before, s.sign);
}

}  // namespace

bool sweptRowPays(const Minors& m, int64_t i, int64_t minors) {
  return minors >= kSweptRowMinors && m.n >= 4 && m.exactValues.finiteWithoutRow(i);
}

void reduceRowWithSweeps(const isa::Isa& x, const Minors& m, MinorBatch& batch,
                         std::vector<SweptRoom>& rooms, int64_t i, const std::vector<int64_t>& cols,
                         float* det) {
  SweptRow(x, m, batch, rooms, i, det).reduce(cols);
}

}  // namespace trelvo::kernels::minors
