#pragma once
// Real discrete Fourier transforms of any size through FFTW3. Plans are made once per size and
// shared; planning is serialised because FFTW's planner is not thread-safe, while executing a
// plan on new arrays is, so transforms of one size may run on several threads at once.

#include <complex>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace zelto::acoustics {

/// Memory aligned as FFTW's SIMD code wants it, so plans run on the caller's arrays directly.
template <class T>
struct FftAllocator {
  using value_type = T;
  FftAllocator() = default;
  template <class U>
  FftAllocator(const FftAllocator<U>&) noexcept {}
  T* allocate(std::size_t n);
  void deallocate(T* p, std::size_t) noexcept;
  template <class U>
  bool operator==(const FftAllocator<U>&) const noexcept {
    return true;
  }
};

using RealVector = std::vector<double, FftAllocator<double>>;
using ComplexVector = std::vector<std::complex<double>, FftAllocator<std::complex<double>>>;

/// |c|² without the overflow-safe hypot that std::norm goes through in libstdc++ (several times
/// slower, and the spectra here are nowhere near overflow).
inline double Power(std::complex<double> c) { return c.real() * c.real() + c.imag() * c.imag(); }

/// The smallest size >= n whose factors are all 2, 3, 5 or 7, where FFTW is fastest.
std::size_t FastFftSize(std::size_t n);

class Fft {
 public:
  /// The transforms of `n` real samples (n >= 1) and n / 2 + 1 complex bins.
  explicit Fft(std::size_t n);
  std::size_t Size() const { return n_; }
  std::size_t Bins() const { return n_ / 2 + 1; }

  /// Unnormalised forward transform: `in` has Size() samples, `out` Bins() bins.
  void Forward(std::span<const double> in, std::span<std::complex<double>> out) const;
  /// Inverse transform scaled by 1 / Size(), so Inverse(Forward(x)) == x. `spectrum` (Bins()
  /// bins) is used as scratch space and left undefined.
  void Inverse(std::span<std::complex<double>> spectrum, std::span<double> out) const;

  /// Conveniences that allocate their result.
  ComplexVector Forward(std::span<const double> in) const;
  RealVector Inverse(ComplexVector spectrum) const;

  struct Plans;

 private:
  std::size_t n_;
  std::shared_ptr<const Plans> plans_;
};

}  // namespace zelto::acoustics
