// The kernels at several sizes: the plain code against the fast code, for
// each vector variant this processor runs, on one core and on two.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/kernels.h"
#include "kernels/parallel.h"
#include "kernels/reference.h"

namespace {

using namespace trelvo;

std::vector<float> randomMatrix(int64_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pick(1, 100);
  std::vector<float> m(n * n);
  for (float& x : m) x = static_cast<float>(pick(random));
  return m;
}

// Argument 0: side; argument 1: 0 for the plain code, 1 for one core, 2 for
// two cores.
void setUp(benchmark::State& state, const std::string& variant) {
  if (!kernels::selectVariant(variant)) state.SkipWithError("variant not supported");
  kernels::allowSecondCore(state.range(1) == 2);
}

void multiply(benchmark::State& state, const std::string& variant) {
  setUp(state, variant);
  const int64_t n = state.range(0);
  auto f = randomMatrix(n, 1);
  auto s = randomMatrix(n, 2);
  std::vector<float> p(n * n);
  for (auto _ : state) {
    if (state.range(1) == 0) {
      kernels::reference::multiply(f.data(), s.data(), p.data(), n, n, n);
    } else {
      kernels::blocked::multiply(f.data(), s.data(), p.data(), n, n, n);
    }
    benchmark::DoNotOptimize(p.data());
  }
  state.counters["GFLOP/s"] =
      benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate);
}

// The whole reduction, or the determinant's (the diagonal only: n^3 / 3
// multiply-adds against n^3 / 2, counted as the latter).
void reduce(benchmark::State& state, const std::string& variant, bool diagonalOnly) {
  setUp(state, variant);
  const int64_t n = state.range(0);
  auto original = randomMatrix(n, 3);
  std::vector<float> a;
  for (auto _ : state) {
    a = original;
    int sign = 1;
    if (state.range(1) == 0) {
      kernels::reference::reduceColumns(a.data(), n, sign);
    } else if (diagonalOnly) {
      kernels::blocked::reduceDiagonal(
          a.data(), n, sign, [&] { std::copy(original.begin(), original.end(), a.begin()); });
    } else {
      kernels::blocked::reduceColumns(a.data(), n, sign);
    }
    benchmark::DoNotOptimize(a.data());
  }
  state.counters["GFLOP/s"] =
      benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate);
}

void minors(benchmark::State& state, const std::string& variant) {
  setUp(state, variant);
  const int64_t n = state.range(0);
  auto a = randomMatrix(n, 4);
  std::vector<float> det(n * n);
  std::vector<uint8_t> reduced(n * n);
  for (auto _ : state) {
    if (state.range(1) == 0) {
      kernels::reference::minorDeterminants(a.data(), n, det.data(), reduced.data());
    } else {
      kernels::minorDeterminants(a.data(), n, det.data(), reduced.data());
    }
    benchmark::DoNotOptimize(det.data());
  }
  // n^2 minors of side n - 1, each (n - 1)^3 multiply-adds.
  const double m = static_cast<double>(n - 1);
  state.counters["GFLOP/s"] =
      benchmark::Counter(2.0 * n * n * m * m * m, benchmark::Counter::kIsIterationInvariantRate);
}

void registerAll() {
  for (std::string variant : {"avx512", "avx2", "generic"}) {
    for (int64_t mode : {0, 1, 2}) {
      if (mode == 0 && variant != "avx512") continue;
      auto name = [&](const char* what) {
        return std::string(what) + "/" +
               (mode == 0 ? "plain" : variant + (mode == 2 ? "/2cores" : "/1core"));
      };
      for (int64_t n : {64, 256, 1000, 2000}) {
        if (mode == 0 && n > 1000) continue;
        benchmark::RegisterBenchmark(name("multiply").c_str(), multiply, variant)
            ->Args({n, mode})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(name("reduce").c_str(), reduce, variant, false)
            ->Args({n, mode})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        if (mode != 0) {
          benchmark::RegisterBenchmark(name("diagonal").c_str(), reduce, variant, true)
              ->Args({n, mode})
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
        }
      }
      for (int64_t n : {20, 40, 60}) {
        benchmark::RegisterBenchmark(name("minors").c_str(), minors, variant)
            ->Args({n, mode})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
