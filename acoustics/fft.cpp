#include "acoustics/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

namespace zelto::acoustics {

template <class T>
T* FftAllocator<T>::allocate(std::size_t n) {
  if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
  void* p = fftw_malloc(n * sizeof(T));
  if (!p && n > 0) throw std::bad_alloc();
  return static_cast<T*>(p);
}

template <class T>
void FftAllocator<T>::deallocate(T* p, std::size_t) noexcept {
  fftw_free(p);
}

template struct FftAllocator<double>;
template struct FftAllocator<std::complex<double>>;

struct Fft::Plans {
  fftw_plan forward = nullptr;
  fftw_plan inverse = nullptr;
  int alignment = 0;  // of the arrays the plans were made with
};

namespace {

// The plan cache is process-wide because FFTW's planner state is; everything in it is immutable
// once made, and the few sizes a measurement uses stay planned. Sizes beyond the last kKeptSizes
// are dropped from the cache (a Fft still holding one keeps it alive).
constexpr std::size_t kKeptSizes = 24;

std::mutex& PlannerMutex() {
  static std::mutex m;
  return m;
}

struct PlanCache {
  std::list<std::pair<std::size_t, std::shared_ptr<const Fft::Plans>>> entries;  // most recent first
};

PlanCache& Cache() {
  static PlanCache cache;
  return cache;
}

std::shared_ptr<const Fft::Plans> MakePlans(std::size_t n) {
  // Called with the planner lock held. FFTW_ESTIMATE plans in microseconds; measuring would cost
  // seconds for the large sizes a long recording needs, more than it saves.
  const int size = static_cast<int>(n);
  double* in = fftw_alloc_real(n);
  fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
  if (!in || !out) {
    fftw_free(in);
    fftw_free(out);
    throw std::bad_alloc();
  }
  auto* plans = new Fft::Plans;
  plans->forward = fftw_plan_dft_r2c_1d(size, in, out, FFTW_ESTIMATE);
  plans->inverse = fftw_plan_dft_c2r_1d(size, out, in, FFTW_ESTIMATE);
  plans->alignment = fftw_alignment_of(in);
  fftw_free(in);
  fftw_free(out);
  return std::shared_ptr<const Fft::Plans>(plans, [](const Fft::Plans* p) {
    std::lock_guard lock(PlannerMutex());
    fftw_destroy_plan(p->forward);
    fftw_destroy_plan(p->inverse);
    delete p;
  });
}

std::shared_ptr<const Fft::Plans> PlansFor(std::size_t n) {
  std::shared_ptr<const Fft::Plans> dropped;  // destroyed after the lock is released
  std::lock_guard lock(PlannerMutex());
  auto& entries = Cache().entries;
  const auto it = std::find_if(entries.begin(), entries.end(), [n](const auto& e) { return e.first == n; });
  if (it != entries.end()) {
    entries.splice(entries.begin(), entries, it);
    return entries.front().second;
  }
  entries.emplace_front(n, MakePlans(n));
  auto plans = entries.front().second;
  if (entries.size() > kKeptSizes) {
    dropped = std::move(entries.back().second);
    entries.pop_back();
  }
  return plans;
}

bool Aligned(const void* p, int alignment) {
  return fftw_alignment_of(const_cast<double*>(static_cast<const double*>(p))) == alignment;
}

}  // namespace

std::size_t FastFftSize(std::size_t n) {
  if (n <= 1) return 1;
  for (std::size_t m = n;; ++m) {
    std::size_t r = m;
    for (std::size_t f : {2u, 3u, 5u, 7u})
      while (r % f == 0) r /= f;
    if (r == 1) return m;
  }
}

Fft::Fft(std::size_t n) : n_(n) {
  if (n < 1 || n > static_cast<std::size_t>(1) << 30) throw std::invalid_argument("FFT size out of range");
  plans_ = PlansFor(n);
}

void Fft::Forward(std::span<const double> in, std::span<std::complex<double>> out) const {
  if (in.size() != n_ || out.size() != Bins()) throw std::invalid_argument("FFT buffer sizes");
  // r2c leaves its input alone, so the const_cast never writes.
  auto* src = const_cast<double*>(in.data());
  auto* dst = reinterpret_cast<fftw_complex*>(out.data());
  if (Aligned(src, plans_->alignment) && Aligned(dst, plans_->alignment)) {
    fftw_execute_dft_r2c(plans_->forward, src, dst);
    return;
  }
  RealVector a(in.begin(), in.end());
  ComplexVector b(Bins());
  fftw_execute_dft_r2c(plans_->forward, a.data(), reinterpret_cast<fftw_complex*>(b.data()));
  std::copy(b.begin(), b.end(), out.begin());
}

void Fft::Inverse(std::span<std::complex<double>> spectrum, std::span<double> out) const {
  if (spectrum.size() != Bins() || out.size() != n_) throw std::invalid_argument("FFT buffer sizes");
  auto* src = reinterpret_cast<fftw_complex*>(spectrum.data());
  if (Aligned(src, plans_->alignment) && Aligned(out.data(), plans_->alignment)) {
    fftw_execute_dft_c2r(plans_->inverse, src, out.data());
  } else {
    ComplexVector a(spectrum.begin(), spectrum.end());
    RealVector b(n_);
    fftw_execute_dft_c2r(plans_->inverse, reinterpret_cast<fftw_complex*>(a.data()), b.data());
    std::copy(b.begin(), b.end(), out.begin());
  }
  const double scale = 1.0 / static_cast<double>(n_);
  for (double& v : out) v *= scale;
}

ComplexVector Fft::Forward(std::span<const double> in) const {
  ComplexVector out(Bins());
  Forward(in, out);
  return out;
}

RealVector Fft::Inverse(ComplexVector spectrum) const {
  RealVector out(n_);
  Inverse(spectrum, out);
  return out;
}

}  // namespace zelto::acoustics
