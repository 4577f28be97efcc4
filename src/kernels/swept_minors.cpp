#include "kernels/swept_minors.h"

#include <algorithm>
#include <utility>

#include "kernels/exact_zeros.h"
#include "kernels/kernels.h"
#include "kernels/strict_float.h"

namespace trelvo::kernels::minors {
namespace {

// Below this many minors in a row, each going its own way is as fast.
constexpr int64_t kSweptRowMinors = 4;
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
  int64_t steps = 0;
  int sign = 1;
  float before = 1.0f;  // the product of the diagonal entries left of the steps to come
};

// What a sweep does at one position, for one column: nothing, when the
// diagonal entry counts as non-zero; else the exchange of row k with each
// row of `rows` in turn, or nothing it can when there is none (a zero that
// stays).
struct Decision {
  bool zero = false;
  std::vector<int64_t> rows;

  bool stays() const { return zero && rows.empty(); }
  bool operator==(const Decision&) const = default;
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
  Decision decide(const SweptSteps& s, int64_t k, int64_t column) const;
  void settle(SweptSteps& s, int64_t k, const Decision& d);
  void goOn(SweptSteps& s);
  void step(SweptSteps& s) const;
  void takeLanes(SweptSteps& s);
  float alone(const SweptSteps& s, int64_t j);
  void eachWhole(const std::vector<int64_t>& members);
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
  for (int64_t r = s.steps; r < n_; ++r) {
    const int64_t from = r * n_ + s.steps;
    const int64_t count = n_ - s.steps;
    std::copy_n(s.a.begin() + from, count, room.a.begin() + from);
    std::copy_n(first.begin() + from, count, room.first.begin() + from);
    std::copy_n(second.begin() + from, count, room.second.begin() + from);
  }
  SweptSteps copy;
  copy.a = std::move(room.a);
  copy.exact = ExactResidues(std::move(room.first), std::move(room.second), n_);
  copy.steps = s.steps;
  copy.sign = s.sign;
  copy.before = s.before;
  return copy;
}

// The sweep from position `first` to the last a minor's sweep visits. At
// position k the members left of k test column k + 1, the others column k.
void SweptRow::sweepFrom(SweptSteps& s, int64_t first) {
  for (int64_t k = first; k + 3 <= n_ && !s.members.empty(); ++k) {
    const bool right = s.members.back() > k;
    const bool left = s.members.front() <= k;
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
      if (part.members.empty()) {
        giveBack(part);
      } else {
        pending_.push_back({std::move(part), k + 1});
      }
    } else {
      // Each goes alone from here, its own sweep taking this position on.
      std::for_each(s.members.begin(), split, [&](int64_t j) { detOf(j) = alone(s, j); });
    }
    s.members.erase(s.members.begin(), split);
    settle(s, k, high);
  }
}

Decision SweptRow::decide(const SweptSteps& s, int64_t k, int64_t column) const {
  Decision d;
  const float* a = s.a.data();
  if (!exact::countsAsZero(a, n_, s.exact, k, column)) return d;
  d.zero = true;
  // The last row is the missing one.
  for (int64_t p = k + 1; p + 1 < n_; ++p) {
    if (!exact::countsAsZero(a, n_, s.exact, p, column)) d.rows.push_back(p);
  }
  return d;
}

// A zero that stays makes the minors singular, or nearly: each takes the
// plain code's way.
void SweptRow::settle(SweptSteps& s, int64_t k, const Decision& d) {
  if (d.stays()) {
    eachWhole(s.members);
    s.members.clear();
    return;
  }
  for (int64_t p : d.rows) {
    std::swap_ranges(s.a.begin() + k * n_, s.a.begin() + (k + 1) * n_, s.a.begin() + p * n_);
    s.exact.exchangeRows(k, p);
    s.sign = -s.sign;
  }
}

// The steps up to each member's column, a batch of lanes at a time, the
// smallest columns first; the sweeps after them may part the set again.
void SweptRow::goOn(SweptSteps& s) {
  while (!s.members.empty()) {
    // The lanes' blocks have a side of at least 3.
    if (s.steps == std::min(s.members.front(), n_ - 3)) {
      takeLanes(s);
      continue;
    }
    step(s);
    sweepFrom(s, s.steps);
  }
}

// Column step k on the columns right of it; the sweep before it left a
// pivot that counts as non-zero.
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
  for (int t = 0; t < used; ++t) {
    const int64_t j = s.members[t];
    detOf(j) =
        fallback >> t & 1 ? alone(s, j) : productInOrder(static_cast<float>(s.sign), laneDet_[t]);
  }
  s.members.erase(s.members.begin(), s.members.begin() + used);
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

void SweptRow::eachWhole(const std::vector<int64_t>& members) {
  for (int64_t j : members) reduceAsWholeMinor(x_, m_, batch_, i_, j, true, det_);
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
