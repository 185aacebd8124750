#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "frame/numbers.h"
#include "quadratic/gabor_sp_sizes.h"
#include "quadratic/mif_stages.h"

namespace varnel::gaborsp {

double mifCrossDecay(std::int32_t dM, std::int32_t dm, double a) noexcept {
    const double offset = static_cast<double>(dM) * dm;
    return std::exp(-(offset * offset) / (4.0 * a));
}

void mifTermSums(const GaborCoefficients& lattice, double a, std::int32_t dm, std::int32_t dn, SplitComplex num,
                 SplitComplex den) {
    const std::int64_t N = lattice.N;
    clearComplex(num, lattice.M);
    clearComplex(den, lattice.M);
    const double g = mifCrossDecay(lattice.dM, dm, a);
    // The time offset shifts each cross term's frequency centroid off the
    // real axis by this much.
    const double shift = -static_cast<double>(dm) * lattice.dM / (2.0 * a);
    // Pairs are walked by the upper atom nB = k + h + 1 so that their
    // midpoint frequency (k + s) bins runs over the positive half only.
    const std::int64_t h = dn >= 0 ? dn / 2 : -((-static_cast<std::int64_t>(dn) + 1) / 2);
    const double s = dn % 2 == 0 ? 1.0 : 0.5;
    const std::int64_t pairs = N / 2 - std::abs(static_cast<std::int64_t>(dn)) / 2 - 1;
    for (std::int64_t m = 0; m + dm < lattice.M; ++m) {
        const double* first = lattice.coefs + 2 * m * N;
        const double* second = lattice.coefs + 2 * (m + dm) * N;
        double sDr = 0.0, sDi = 0.0, sNr = 0.0, sNi = 0.0;
        for (std::int64_t k = 0; k < pairs; ++k) {
            const std::int64_t nB = wrapIndex(k + h + 1, N);
            const std::int64_t nA = wrapIndex(nB - dn, N);
            const double ar = first[2 * nA], ai = -first[2 * nA + 1];
            const double br = second[2 * nB], bi = second[2 * nB + 1];
            const double pr = ar * br - ai * bi, pi = ar * bi + ai * br;
            const double omega = (static_cast<double>(k) + s) * kTwoPi / lattice.N;
            sDr += pr;
            sDi += pi;
            sNr += pr * omega - pi * shift;
            sNi += pr * shift + pi * omega;
        }
        const double theta = (dm / 2.0 + static_cast<double>(m)) * lattice.dM * dn * kTwoPi / lattice.N;
        const double cr = g * std::cos(theta), ci = g * std::sin(theta);
        den.re[m] = cr * sDr - ci * sDi;
        den.im[m] = cr * sDi + ci * sDr;
        num.re[m] = cr * sNr - ci * sNi;
        num.im[m] = cr * sNi + ci * sNr;
    }
}

void mifDcTerm(const GaborCoefficients& lattice, double a, std::int32_t dm, SplitComplex seq) {
    const std::ptrdiff_t N = lattice.N;
    const double g = mifCrossDecay(lattice.dM, dm, a);
    clearComplex(seq, lattice.M);
    for (std::ptrdiff_t m = 0; m + dm < lattice.M; ++m) {
        const double* first = lattice.coefs + 2 * m * N;
        const double* second = lattice.coefs + 2 * (m + dm) * N;
        seq.re[m] = g * (first[0] * second[0] + first[1] * second[1]);
    }
}

}  // namespace varnel::gaborsp
