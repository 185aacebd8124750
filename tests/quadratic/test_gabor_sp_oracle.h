// Direct long-double evaluations of the Gabor spectrogram and the mean
// instantaneous frequency on small lattices: kernels as periodic sums of
// the Gaussian, convolutions as plain circular sums; no FFT, no polyphase.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <ostream>
#include <vector>

#include "support/reference_dft.h"

namespace varnel::testing {

using LD = long double;
using LC = std::complex<long double>;

inline constexpr LD kPiL = 3.141592653589793238462643383279502884L;

inline std::int64_t modulo(std::int64_t k, std::int64_t n) { return ((k % n) + n) % n; }

inline LC coefficient(const std::vector<double>& coefs, int N, int m, int n) {
    const std::int64_t k = static_cast<std::int64_t>(m) * N + modulo(n, N);
    return {coefs[2 * k], coefs[2 * k + 1]};
}

// sum over j of exp(-u^2/width2) * exp(i*mod*u), u = x + j*period, over every
// j where the Gaussian is above 1e-40 of its peak.
inline LC periodicGaussian(LD x, LD period, LD width2, LD mod) {
    const LD reach = std::sqrt(92.0L * width2);
    const std::int64_t J = static_cast<std::int64_t>(reach / period) + 2;
    LC sum = 0;
    for (std::int64_t j = -J; j <= J; ++j) {
        const LD u = x + j * period;
        sum += std::exp(-u * u / width2) * std::polar(1.0L, mod * u);
    }
    return sum;
}

inline std::int32_t gaborSpTimeLength(double a, int dM, int M) {
    return powerOfTwoAtLeast(static_cast<std::int64_t>(std::ceil(6.3 * std::sqrt(a) / dM)) + M);
}

inline std::int32_t mifTimeLength(double a, int dM, int M) {
    return powerOfTwoAtLeast(static_cast<std::int64_t>(std::ceil(12.0 * std::sqrt(2.0 * a) / dM)) + M);
}

// The time kernel of a term on the fine grid of NT*K2 instants of dM/K2
// samples, centred at t0 and modulated by omega1: entry e.
inline std::vector<LC> timeKernelTable(int NT, int dM, int K2, LD a, LD omega1, LD t0) {
    std::vector<LC> table(static_cast<std::size_t>(NT) * K2);
    for (std::size_t e = 0; e < table.size(); ++e) {
        const LD y = static_cast<LD>(e) * dM / K2 - t0;
        table[e] = periodicGaussian(y, static_cast<LD>(NT) * dM, a, omega1);
    }
    return table;
}

// sum over m < count of seq[m] * kernel[(t - K2*m) mod (NT*K2)].
inline LC circularTimeSum(const std::vector<LC>& seq, int count, const std::vector<LC>& kernel, int K2,
                          std::int64_t t) {
    LC sum = 0;
    const std::int64_t period = static_cast<std::int64_t>(kernel.size());
    for (int m = 0; m < count; ++m) sum += seq[m] * kernel[modulo(t - static_cast<std::int64_t>(K2) * m, period)];
    return sum;
}

struct GaborSpCase {
    int M, N, dM;
    double a;
    int lowOrder, highOrder, K2, K1, f0, nF;
};

inline std::ostream& operator<<(std::ostream& os, const GaborSpCase& c) {
    return os << "M" << c.M << " N" << c.N << " dM" << c.dM << " a" << c.a << " orders " << c.lowOrder << ".."
              << c.highOrder << " K2 " << c.K2 << " K1 " << c.K1 << " band " << c.f0 << "+" << c.nF;
}

// out[t*nF + f] of the spectrogram, term by term: the product table, the
// frequency kernel on the L = N*K1 fine bins, the frequency convolution,
// the time kernel and the time convolution, real part, scale.
inline std::vector<double> directGaborSpectrogram(const std::vector<double>& coefs, const GaborSpCase& c) {
    const int lowest = std::max(c.lowOrder, 0);
    const int highest = std::max(lowest, std::min(c.highOrder, std::min(c.M, c.N) - 1));
    const int NT = gaborSpTimeLength(c.a, c.dM, c.M);
    const std::int64_t L = static_cast<std::int64_t>(c.N) * c.K1;
    const std::int64_t T = static_cast<std::int64_t>(c.M) * c.K2;
    std::vector<LC> sum(static_cast<std::size_t>(T * c.nF));
    for (int dm = 0; dm <= highest; ++dm) {
        for (int dn = -highest; dn <= highest; ++dn) {
            const int order = dm + std::abs(dn);
            if (order < lowest || order > highest || (dm == 0 && dn < 0)) continue;
            const LD weight = dm == 0 && dn == 0 ? 0.5L : 1.0L;
            // Frequency kernel: offset x from the pair's midpoint frequency,
            // modulated by the time offset.
            std::vector<LC> gf(L);
            for (std::int64_t e = 0; e < L; ++e) {
                const LD x = 2 * kPiL * e / L - dn * kPiL / c.N;
                gf[e] = periodicGaussian(x, 2 * kPiL, 1.0L / c.a, -static_cast<LD>(dm) * c.dM);
            }
            const std::vector<LC> gt = timeKernelTable(NT, c.dM, c.K2, c.a, 2 * kPiL * dn / c.N, dm * c.dM / 2.0L);
            for (int f = 0; f < c.nF; ++f) {
                std::vector<LC> r(c.M);
                for (int m = 0; m + dm < c.M; ++m) {
                    const LD theta = (dm + 2.0L * m) * c.dM * dn * kPiL / c.N;
                    for (int n = 0; n < c.N; ++n) {
                        const LC p = std::conj(coefficient(coefs, c.N, m, n)) *
                                     coefficient(coefs, c.N, m + dm, n + dn) * std::polar(1.0L, theta);
                        r[m] += p * gf[modulo(c.f0 + f - static_cast<std::int64_t>(c.K1) * n, L)];
                    }
                }
                for (std::int64_t t = 0; t < T; ++t) sum[t * c.nF + f] += weight * circularTimeSum(r, c.M, gt, c.K2, t);
            }
        }
    }
    const LD scale = 4.0L * c.dM * c.dM / (static_cast<LD>(c.N) * c.N * c.N * c.K1);
    std::vector<double> out(sum.size());
    for (std::size_t i = 0; i < sum.size(); ++i) out[i] = static_cast<double>(scale * sum[i].real());
    return out;
}

}  // namespace varnel::testing
