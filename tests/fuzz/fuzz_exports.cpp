// Fuzz harness over all 42 exports, one entry per family. The first byte
// picks the export inside the family; the decoder then produces lengths,
// window specs, parameters and samples, including the hostile ones (0,
// negative, INT32_MIN/MAX, non-powers of two, NaN/Inf/subnormal/huge), null
// and overlapping arrays. Which status a refused call gets is the unit
// suites' business; here any documented one passes, if nothing was written.
// Valid calls whose work would be huge are skipped to keep executions short.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

using namespace varnel_fuzz;

namespace {

// A window spec; its window becomes array `win` of the call (null gives 29).
struct Spec {
    WindowSpec ws{};
    int win = -1;
    bool null = false;
    void alloc(Call& c) { win = c.add(nonneg(ws.windowLength), kNullOk); }
    // Once the call's arrays are placed.
    const WindowSpec* ptr(Call& c) {
        ws.window = c.p(win);
        return null ? nullptr : &ws;
    }
};

// Any window length, step and bin count (the STFT-like transforms).
Spec freeSpec(Reader& r, int32_t lCap, int32_t dCap, int mLog) {
    Spec s;
    s.ws.windowLength = r.i32(lCap), s.ws.timeStep = r.i32(dCap), s.ws.binCount = r.pow2(mLog);
    s.null = r.chance(8);
    return s;
}

// Mostly a valid Gabor lattice.
Spec latticeSpec(Reader& r) {
    Spec s;
    if (r.u8() < 224) {
        const int lg = r.u8() % 8;
        s.ws.binCount = 1 << lg;
        s.ws.timeStep = 1 << (r.u8() % (lg + 1));
        s.ws.windowLength = s.ws.binCount * (1 + r.u8() % 4);
    } else {
        s.ws.binCount = r.pow2(8), s.ws.timeStep = r.i32(64), s.ws.windowLength = r.i32(1024);
    }
    return s;
}
bool latticeOk(const WindowSpec& w, bool dMPow2) {
    const int64_t L = w.windowLength, D = w.timeStep, N = w.binCount;
    return L >= 1 && D >= 1 && isPow2(N) && D <= N && L % D == 0 && L % N == 0 && (!dMPow2 || isPow2(D));
}

void conversions(Reader& r) {
    static const char* names[] = {"_Hc2Cx", "_Cx2Hc", "_Cx2ReIm", "_ReIm2Cx", "_Hc2ReIm", "_ReIm2Hc"};
    const int sel = r.u8() % 6;
    const int32_t n = r.i32(2048);
    if (n > 4096) return;
    const int64_t k = nonneg(n);
    Call c(r);
    const bool twoIn = sel == 3 || sel == 5, twoOut = sel == 2 || sel == 4;
    const int a = c.add(sel == 1 || sel == 2 ? 2 * k : k), a2 = twoIn ? c.add(k) : -1;
    const int b = c.add(sel == 0 || sel == 3 ? 2 * k : k, kOut), b2 = twoOut ? c.add(k, kOut) : -1;
    c.ready({a, a2});
    double *in = c.p(a), *in2 = c.p(a2), *o = c.p(b), *o2 = c.p(b2);
    switch (sel) {
        case 0: _Hc2Cx(in, o, n); break;
        case 1: _Cx2Hc(in, o, n); break;
        case 2: _Cx2ReIm(in, o, o2, n); break;
        case 3: _ReIm2Cx(in, in2, o, n); break;
        case 4: _Hc2ReIm(in, o, o2, n); break;
        case 5: _ReIm2Hc(in, in2, o, n); break;
    }
    // Void: either it acts (everything written) or it writes nothing.
    c.check(names[sel], n >= 1 && !c.hostile() ? 0 : -1, {0, -1}, {}, !r.wild);
}

void stft(Reader& r) {
    static const char* names[] = {"ReSTFT", "ReSTFTWithShift", "CxSTFT", "CxSTFTEx", "CxSTFTExWithShift", "ReSTFTsp", "CxSTFTsp"};
    const int sel = r.u8() % 7;
    const bool ex = sel == 3 || sel == 4, cx = ex || sel == 2 || sel == 6;
    const int32_t N = r.i32(2048);
    Spec sp = freeSpec(r, 512, 32, 10);
    const int64_t L = sp.ws.windowLength, D = sp.ws.timeStep, M = sp.ws.binCount;
    const int32_t xs = 1 + r.u8() % 3, os = 1 + r.u8() % 2;
    int32_t shift = r.i32(4096);
    const bool shiftNull = r.chance(16);
    const int64_t F = !sp.null && N > L && D >= 1 && isPow2(M) ? (N - L) / D + 1 : 0, bins = F * M;
    if (F * std::max(M, L) > kMaxWork) return;
    const int64_t nOut = sel == 5 ? (M == 1 ? (F + 1) / 2 : F * (M / 2)) : (ex ? extent(bins, os) : (cx && sel != 6 ? 2 : 1) * bins);
    const int64_t xExt = ex ? extent(N, xs) : (cx ? 2 : 1) * nonneg(N);
    const unsigned xf = L <= 0 ? kNullOk : 0, of = kOut | (ex && os != 1 ? kPartial : 0);  // L <= 0 reads no samples
    Call c(r);
    const int x = c.add(xExt, xf), xi = ex ? c.add(xExt, xf) : -1;
    sp.alloc(c);
    const int o = c.add(nOut, of), oi = ex ? c.add(nOut, of) : -1;
    c.ready({sp.win, x, xi});
    const int32_t shift0 = shift;
    int32_t* sh = shiftNull ? nullptr : &shift;
    const WindowSpec* ws = sp.ptr(c);
    int32_t s = 0;
    switch (sel) {
        case 0: s = ReSTFT(c.p(x), N, ws, c.p(o)); break;
        case 1: s = ReSTFTWithShift(c.p(x), N, ws, sh, c.p(o)); break;
        case 2: s = CxSTFT(c.p(x), N, ws, c.p(o)); break;
        case 3: s = CxSTFTEx(c.p(x), c.p(xi), xs, N, ws, c.p(o), c.p(oi), os); break;
        case 4: s = CxSTFTExWithShift(c.p(x), c.p(xi), xs, N, ws, sh, c.p(o), c.p(oi), os); break;
        case 5: s = ReSTFTsp(c.p(x), N, ws, c.p(o)); break;
        case 6: s = CxSTFTsp(c.p(x), N, ws, c.p(o)); break;
    }
    c.check(names[sel], s, {0, 1, 29, NM}, {}, !r.wild);
    if (s != 0 && shift != shift0) fail(names[sel], "changed *shift on failure", s);
}

void windows(Reader& r) {
    const int sel = r.u8() % 4;
    Call c(r);
    if (sel == 0) {
        const int32_t n = r.i32(4096);
        const double centre = r.real(), variance = r.real();
        if (n > kMaxElems) return;
        const int o = c.add(nonneg(n), kOut | kNullOk);  // a null out is not an error: nothing to write into
        c.ready({});
        const bool sane = variance > 1e-300 && variance < 1e300 && std::fabs(centre) < 1e100;
        c.check("Gaussian", Gaussian(n, centre, variance, c.p(o)), {0}, {}, sane);
    } else if (sel == 1) {
        const int32_t L = r.i32(512), dM = r.i32(32), N = r.pow2(7), mode = r.i32(2);
        // Each residue's system is about (L/dM) x (L/N): keep its SVD small.
        if (dM >= 1 && isPow2(N) && L >= 1 && (L > 4096 || int64_t(L / dM) * (L / N) * std::min(L / dM, L / N) > (1 << 16))) return;
        const int w = c.add(nonneg(L)), o = c.add(nonneg(L), kOut);
        c.ready({w});
        c.check("FastDual", FastDual(c.p(w), L, dM, N, mode, c.p(o)), {0, 1, 29, kStatusBadSelector, NM}, {}, !r.wild);
    } else {
        const bool cx = sel == 3;
        const int32_t n = r.i32(512), m = r.i32(1024), mode = r.i32(7);
        const int64_t w = cx ? 2 : 1;
        // The Zero rule and an empty side read no samples.
        const int x = c.add(w * nonneg(n), mode == 0 || m == 0 ? kNullOk : 0);
        const int lo = c.add(w * nonneg(m), kOut), ro = c.add(w * nonneg(m), kOut);
        c.ready({x});
        const int32_t s = (cx ? CxExtension : ReExtension)(c.p(x), n, mode, m, c.p(lo), c.p(ro));
        c.check(cx ? "CxExtension" : "ReExtension", s, {0, 1, 4, NM}, {NM}, !r.wild);
    }
}

void gabor(Reader& r) {
    static const char* names[] = {"ReDGT", "CxDGT", "CxDGTEx", "ReDGTWithIC", "ReDGE", "CxDGE", "CxDGEEx", "ReDGEWithIC", "DGT2d", "DGE2d"};
    const int sel = r.u8() % 10;
    Spec sp = latticeSpec(r);
    const int64_t L = sp.ws.windowLength, dM = sp.ws.timeStep, N = sp.ws.binCount;
    const bool ok = latticeOk(sp.ws, sel == 3 || sel == 7);
    Call c(r);
    int32_t s = 0;
    if (sel <= 2) {  // ReDGT, CxDGT, CxDGTEx
        const int32_t n = r.i32(2048);
        const int layout = sel == 2 ? r.u8() % 4 : 0;  // split, interleaved, stride 2 apart, stride 3
        const int32_t inStride = layout == 0 ? 1 : layout == 3 ? 3 : 2, os = 1 + r.u8() % 2;
        const bool overflow = int64_t(n) + L > INT32_MAX;
        const int64_t P = n >= 1 && ok && !overflow && layout < 2 ? (n + dM - 1) / dM * dM : 0, F = P / std::max<int64_t>(dM, 1);
        if (F * std::max(N, L) > kMaxWork || (P && n > kMaxElems / 4)) return;
        // Where n + L passes 2^31 - 1 but the padded P + L - dM does not, the
        // library takes gigabytes before refusing; the layout, too, is judged
        // after the scratch of n + L samples is taken.
        if (layout >= 2 && ok && n > kMaxElems / 4 && !overflow) return;
        if (overflow && layout < 2 && (int64_t(n) + dM - 1) / std::max<int64_t>(dM, 1) * dM + L - dM <= INT32_MAX) return;
        const int64_t xExt = sel == 0 ? nonneg(n) : sel == 1 || layout == 1 ? 2 * nonneg(n) : extent(n, inStride);
        const int x = c.add(xExt), xi = sel == 2 && layout != 1 ? c.add(xExt) : -1;
        sp.alloc(c);
        const int64_t oExt = sel == 2 ? extent(F * N, os) : (sel == 1 ? 2 : 1) * F * N;
        const unsigned of = kOut | (sel == 2 && os != 1 ? kPartial : 0);
        const int o = c.add(oExt, of), oi = sel == 2 ? c.add(oExt, of) : -1;
        c.ready({sp.win, x, xi});
        if (sel == 0) s = ReDGT(c.p(x), n, sp.ptr(c), c.p(o));
        if (sel == 1) s = CxDGT(c.p(x), n, sp.ptr(c), c.p(o));
        if (sel == 2) s = CxDGTEx(c.p(x), layout == 1 ? c.p(x, 1) : c.p(xi), inStride, n, sp.ptr(c), c.p(o), c.p(oi), os);
        c.check(names[sel], s, {0, 1, 29, -1, NM}, {}, !r.wild);
    } else if (sel == 3) {  // ReDGTWithIC
        const int32_t n = r.i32(2048);
        int32_t hl = r.i32(64);
        const bool hlNull = r.chance(16);
        const int64_t T = int64_t(hl) + n, F = T >= L ? (T - L) / std::max<int64_t>(dM, 1) + 1 : 0;
        const bool bad = n < 1 || hlNull || hl < 0 || (F - 1) * dM + L + 1 > INT32_MAX || !ok;
        if (!bad && (F * std::max(N, L) > kMaxWork || T > kMaxElems / 2)) return;
        const int x = c.add(nonneg(n)), h = c.add(std::max<int64_t>(nonneg(hl), L - 1), kInOut);
        sp.alloc(c);
        const int o = c.add(bad ? 0 : F * N, kOut);
        c.ready({sp.win, x, h});
        const int32_t hl0 = hl;
        s = ReDGTWithIC(c.p(x), n, c.p(h), hlNull ? nullptr : &hl, sp.ptr(c), c.p(o));
        c.check(names[sel], s, {0, 1, 29, NM}, {}, !r.wild);
        if (s != 0 && hl != hl0) fail(names[sel], "changed *historyLength on failure", s);
    } else if (sel <= 7) {  // ReDGE, CxDGE, CxDGEEx, ReDGEWithIC
        const int32_t F = r.i32(32), Narg = r.chance(224) ? int32_t(N) : r.i32(256), outLength = r.i32(2048);
        const int32_t is = 1 + r.u8() % 2, os = 1 + r.u8() % 2;
        const bool interleaved = sel == 6 && is == 2 && r.chance(128);
        int32_t sl = r.i32(64);
        const bool slNull = r.chance(16);
        const bool valid = F >= 1 && Narg >= 1 && (sel == 7 || outLength >= 1) && ok && Narg == N &&
                           (sel != 7 || (!slNull && sl >= 0 && sl <= L - dM));
        const int64_t frames = valid ? F : 0, outLen = sel == 7 ? frames * dM : nonneg(outLength), bins = frames * N;
        if (valid && frames * std::max(N, L) > kMaxWork) return;
        const int64_t cExt = sel == 6 ? (interleaved ? 2 * bins : extent(bins, is)) : (sel == 5 ? 2 : 1) * bins;
        const int cf = c.add(cExt), ci = sel == 6 && !interleaved ? c.add(cExt) : -1;
        sp.alloc(c);
        const int64_t oExt = sel == 6 ? extent(outLen, os) : (sel == 5 ? 2 : 1) * outLen;
        const unsigned of = kOut | (sel == 6 && os != 1 ? kPartial : 0);
        const int o = c.add(oExt, of), oi = sel == 6 ? c.add(oExt, of) : -1;
        const int st = sel == 7 ? c.add(std::max<int64_t>(L - dM, 0), kInOut) : -1;
        c.ready({sp.win, cf, ci, st});
        const int32_t sl0 = sl;
        if (sel == 4) s = ReDGE(c.p(cf), F, Narg, sp.ptr(c), c.p(o), outLength);
        if (sel == 5) s = CxDGE(c.p(cf), F, Narg, sp.ptr(c), c.p(o), outLength);
        if (sel == 6) s = CxDGEEx(c.p(cf), interleaved ? c.p(cf, 1) : c.p(ci), is, F, Narg, sp.ptr(c), c.p(o), c.p(oi), os, outLength);
        if (sel == 7) s = ReDGEWithIC(c.p(cf), F, Narg, sp.ptr(c), c.p(o), c.p(st), slNull ? nullptr : &sl);
        c.check(names[sel], s, {0, 1, 29, NM}, {}, !r.wild);
        if (sel == 7 && !slNull && sl != (s == 0 ? L - dM : sl0)) fail(names[sel], "*stateLength after status", s);
    } else {  // DGT2d, DGE2d
        Spec sp2 = latticeSpec(r);
        const int64_t dM2 = sp2.ws.timeStep, N2 = sp2.ws.binCount;
        const bool ok2 = latticeOk(sp2.ws, false);
        const int32_t nRows = r.i32(64), nCols = r.i32(64);
        int32_t F1 = 0, F2 = 0, N1a = int32_t(N), N2a = int32_t(N2);
        if (sel == 8) {
            F1 = ok && nRows > 0 ? int32_t((nRows + dM - 1) / dM) : 0;
            F2 = ok2 && nCols > 0 ? int32_t((nCols + dM2 - 1) / dM2) : 0;
        } else {
            F1 = r.i32(8), F2 = r.i32(8);
            if (r.chance(24)) N1a = r.i32(64);
            if (r.chance(24)) N2a = r.i32(64);
        }
        const bool valid = nRows >= 1 && nCols >= 1 && ok && ok2 &&
                           (sel == 8 || (F1 >= 1 && F2 >= 1 && N1a == N && N2a == N2));
        const long double size = valid ? 2.0L * F1 * N * F2 * N2 : 0;
        if (size > kMaxElems / 2 || size * std::max(sp.ws.windowLength, sp2.ws.windowLength) > 64 * kMaxWork) return;
        const int64_t coefs = int64_t(size), pixels = valid ? int64_t(nRows) * nCols : 0;
        sp.alloc(c), sp2.alloc(c);
        const int in = c.add(sel == 8 ? pixels : coefs), o = c.add(sel == 8 ? coefs : pixels, kOut);
        c.ready({sp.win, sp2.win, in});
        if (sel == 8) s = DGT2d(c.p(in), nRows, nCols, sp.ptr(c), sp2.ptr(c), c.p(o));
        else s = DGE2d(c.p(in), F1, N1a, F2, N2a, sp.ptr(c), sp2.ptr(c), c.p(o), nRows, nCols);
        // A one-dimensional pass may refuse its length (nRows = dM1) after others wrote.
        c.check(names[sel], s, {0, 1, 29, NM}, {1}, !r.wild);
    }
}

void quadratic(Reader& r) {
    static const char* names[] = {"WVD", "Cohen", "CWD", "CSD"};
    const int sel = r.u8() % 4;
    const int32_t N = r.i32(1024), nFreq = r.pow2(9), ts = r.pow2(5), analytic = r.i32(2);
    const bool real = r.chance(128);
    const double param = r.real();
    const int64_t T = N >= 1 && ts >= 1 ? N / ts : 0, B = isPow2(nFreq) ? (real ? nFreq / 2 : nFreq) : 0;
    int64_t W = 1, fit = 1;
    while (W < N) W <<= 1;
    while (fit < T * ts) fit <<= 1;
    int32_t kW = r.chance(200) ? int32_t(fit) : r.pow2(11);
    const int64_t kRows = nonneg(nFreq);
    // Above 2^30 samples the padded length has no FFT: refused before any work.
    const bool huge = N > (1 << 30) && sel != 1;
    if (!huge && (N > 4096 || T * B > kMaxElems)) return;
    if (sel == 1 && isPow2(kW) && kW >= N && kRows * kW > kMaxWork) return;
    if (sel >= 2 && !huge && kRows * W > kMaxWork) return;
    Call c(r);
    // WVD needs no re when there is nothing to compute; a null kernel is 28; a null im means a real signal.
    // A huge signal is refused unread; a token im keeps it complex (a null one would make it real).
    const int re = c.add(nonneg(N), kNullOk), im = real ? -1 : c.add(huge ? 1 : nonneg(N), kKeep);
    const int k = sel == 1 ? c.add(kRows * nonneg(kW), kNullOk) : -1, o = c.add(huge ? 0 : T * B, kOut | (sel == 0 ? kNullOk : 0));
    c.ready({re, im, k});
    const double* imp = c.p(im);
    int32_t s = 0;
    if (sel == 0) s = WVD(c.p(re), imp, N, nFreq, ts, analytic, c.p(o));
    if (sel == 1) s = Cohen(c.p(re), imp, N, c.p(k), nFreq, kW, ts, analytic, c.p(o));
    if (sel == 2) s = CWD(c.p(re), imp, N, nFreq, ts, param, analytic, c.p(o));
    if (sel == 3) s = CSD(c.p(re), imp, N, nFreq, ts, param, analytic, c.p(o));
    c.check(names[sel], s, {0, 1, 3, 22, 28, NM}, {}, !r.wild);
}

void gaborSp(Reader& r) {
    const int sel = r.u8() % 3;
    Call c(r);
    if (sel == 2) {
        const int32_t T = r.i32(128), F = r.i32(128), r1 = r.i32(8), r2 = r.i32(8);
        const int64_t cells = T >= 1 && F >= 1 ? int64_t(T) * F : 0;
        const int S = c.add(cells), fq = c.add(cells ? T : 0, kOut), en = c.add(cells ? T : 0, kOut);
        c.ready({S});
        c.check("InstantaneousFrequency", InstantaneousFrequency(c.p(S), T, F, r1, r2, c.p(fq), c.p(en)), {0, 1, NM}, {}, !r.wild);
        return;
    }
    const int32_t M = r.i32(24), N = r.pow2(6), dM = r.pow2(4), lo = r.i32(4), hi = r.i32(4), K2 = r.i32(8), K1 = r.i32(8);
    const int32_t f0 = r.i32(64), nF = r.chance(128) ? int32_t(std::max<int64_t>(int64_t(N) * K1 - nonneg(f0), 1)) : r.i32(64);
    const double a = r.u8() < 192 ? std::ldexp(1.0 + r.u8() / 64.0, int(r.u8() % 16) - 6) : r.real();
    const long double kWidth = sel == 0 ? 6.3L * std::sqrt((long double)a) : 12 * std::sqrt(2 * (long double)a);
    const long double NT = dM >= 1 && a > 0 ? std::exp2(std::ceil(std::log2(std::ceil(kWidth / dM) + std::max(M, 1)))) : 0;
    const int64_t bins = int64_t(N) * K1;
    const bool valid = M >= 1 && isPow2(N) && isPow2(dM) && a > 0 && K2 >= 0 &&
                       (sel == 0 ? hi >= 0 && K1 >= 0 && f0 >= 0 && f0 < bins && nF >= 1 && nF <= bins - f0 : lo >= 0);
    // Transform lengths above 2^30 are refused (-20001) without output.
    const long double outSize = !valid || NT > (1 << 30) ? 0 : sel == 0 ? (long double)M * K2 * nF : (long double)(M - 1) * K2;
    if (outSize > kMaxElems) return;
    const int64_t outN = int64_t(outSize);
    if ((outN && M > 4096) || (outN && (sel == 0 ? (long double)nF * K2 * NT + 2.0L * K2 * NT + 2.0L * bins : 8.0L * K2 * NT) > kMaxWork)) return;
    // An empty output may leave the coefficients unread.
    const int cf = c.add(valid ? 2 * int64_t(M) * N : 0, outN == 0 ? kNullOk : 0), o = c.add(outN, kOut);
    c.ready({cf});
    if (sel == 0)
        c.check("CxGaborSp", CxGaborSp(c.p(cf), M, N, dM, a, lo, hi, K2, K1, f0, nF, c.p(o)), {0, 1, 23, 27, 29, 30, 31, NM}, {},
                !r.wild && a >= 1e-3 && a <= 1e6);
    else
        c.check("MIFOfGaborSp", MIFOfGaborSp(c.p(cf), M, N, dM, a, lo, K2, c.p(o)), {0, 1, 23, 27, 29, 31, NM}, {}, false);
}

// Chirplet terms: mostly usable and compact, sometimes with a hostile field.
// Returns whether all are tame enough for finite results.
bool fillTerms(Reader& r, Call& c, int t, int cf, int64_t count, int64_t span) {
    auto* terms = reinterpret_cast<AdaptiveTerm*>(c.p(t));
    bool tameTerms = true;
    for (int64_t j = 0; j < count; ++j) {
        AdaptiveTerm g{std::ldexp(1.0, -int(r.u8() % 24)), double(r.u16() % (span + 16)) - 8 + r.u8() / 256.0,
                       int8_t(r.u8()) / 16.0, int8_t(r.u8()) / 1024.0};
        double cre = int8_t(r.u8()) / 8.0, cim = int8_t(r.u8()) / 8.0;
        if (r.chance(24)) {
            double* field[] = {&g.alpha, &g.tc, &g.omega, &g.beta, &cre, &cim};
            *field[r.u8() % 6] = r.real();
        }
        // Only moderate terms are held to finite results here; the unit tests
        // take the extremes (subnormal alpha, overflowing energy) one by one.
        tameTerms = tameTerms && g.alpha >= 1e-12 && g.alpha <= 1e12 && std::fabs(g.tc) <= 1e7 && std::fabs(g.omega) <= 1e3 &&
                    std::fabs(g.beta) <= 1e3 && tame(cre) && tame(cim);
        if (terms) terms[j] = g;
        if (c.p(cf)) c.p(cf)[2 * j] = cre, c.p(cf)[2 * j + 1] = cim;
    }
    return tameTerms;
}

void adaptive(Reader& r) {
    static const char* names[] = {"ReAdaptiveExpansion", "CxAdaptiveExpansion", "ReAdaptiveSp", "CxAdaptiveSp",
                                  "ReAdaptiveTransform", "CxAdaptiveTransform"};
    const int sel = r.u8() % 6;
    const bool cx = sel % 2 == 1;
    Call c(r);
    if (sel <= 3) {
        const int32_t nt = r.i32(6);
        const int64_t terms = nonneg(nt) * 4 > kMaxElems ? 0 : nonneg(nt);  // a huge count comes with null arrays
        const int t = c.add(4 * nonneg(nt)), cf = c.add(2 * nonneg(nt));
        if (sel <= 1) {
            const int32_t length = r.i32(2048);
            const int o = c.add((cx ? 2 : 1) * nonneg(length), kOut);
            c.place();
            const bool tameTerms = fillTerms(r, c, t, cf, terms, nonneg(length));
            c.seal();
            const int32_t s = (cx ? CxAdaptiveExpansion : ReAdaptiveExpansion)(reinterpret_cast<AdaptiveTerm*>(c.p(t)), c.p(cf), nt, length, c.p(o));
            // Cx: 1 when a term lies wholly outside, after the earlier terms were added.
            c.check(names[sel], s, {0, 1, 32, NM}, {NM, cx ? 1 : NM}, tameTerms);
        } else {
            const int32_t dt = r.i32(8), K = r.pow2(8), t0 = r.i32(64), f0 = r.i32(64), rows = r.i32(128);
            const int32_t cols = r.chance(160) ? int32_t(std::max<int64_t>(int64_t(K) - nonneg(f0), 1)) : r.i32(256);
            const int o = c.add(rows >= 1 && cols >= 1 ? int64_t(rows) * cols : 0, kOut);
            c.place();
            const bool tameTerms = fillTerms(r, c, t, cf, terms, 256);
            c.seal();
            const int32_t s = (cx ? CxAdaptiveSp : ReAdaptiveSp)(c.p(cf), reinterpret_cast<AdaptiveTerm*>(c.p(t)), nt, dt, K, t0, f0, rows, cols, c.p(o));
            c.check(names[sel], s, {0, 1, 3, 21, 30, 32, NM}, {}, tameTerms);
        }
        return;
    }
    const int32_t N = r.i32(384), chirpMode = r.i32(1), extMode = r.i32(6), rawWl = r.i32(512);
    const double rangeFactor = r.real();
    const int32_t maxAttempts = r.i32(3), maxTerms = r.i32(3);
    const int32_t wl = rawWl > 4096 && rawWl <= (1 << 30) ? 4096 : rawWl;  // a 2^30 window is valid but not affordable
    // Every refinement attempt costs probe correlations: a billion of them is valid but endless.
    if (N > 1024 || (maxTerms > 8 && N >= 8) || maxAttempts > 16) return;
    const int64_t w = cx ? 2 : 1, slots = std::clamp<int32_t>(maxTerms, 0, 8);
    // Term slots may hold earlier iterations after a failure; the percentage of a silent signal has no value.
    const int sig = c.add(w * nonneg(N)), res = c.add(w * nonneg(N), kOut), pct = c.add(1, kOut | kAnyValue);
    const int cf = c.add(2 * slots, kOut | kPartial | kScratch | kAnyValue), t = c.add(4 * slots, kOut | kPartial | kScratch | kAnyValue);
    const bool countNull = r.chance(12);
    c.ready({sig});
    int32_t count = -7;
    const int32_t s = (cx ? CxAdaptiveTransform : ReAdaptiveTransform)(c.p(sig), N, chirpMode, extMode, wl, rangeFactor, maxAttempts, maxTerms,
                                                                    countNull ? nullptr : &count, c.p(pct), c.p(cf),
                                                                    reinterpret_cast<AdaptiveTerm*>(c.p(t)), c.p(res));
    c.check(names[sel], s, {0, 1, 4, 25, NM}, {}, !r.wild);
    if (!countNull && (s != 0 ? count != 0 : count < 0 || count > maxTerms)) fail(names[sel], "*numTermsOut", count);
}

void reassigned(Reader& r) {
    const bool cx = r.u8() & 1;
    const int32_t N = r.i32(2048);
    Spec sp = freeSpec(r, 256, 32, 9);
    const int64_t Lw = sp.ws.windowLength, dt = sp.ws.timeStep, K = sp.ws.binCount;
    const int64_t M = !sp.null && N >= Lw && dt >= 1 && isPow2(K) && Lw >= 2 ? (N - Lw) / dt + 1 : 0;
    if (M * std::max(K, Lw) > kMaxWork) return;
    Call c(r);
    const int x = c.add((cx ? 2 : 1) * nonneg(N));
    sp.alloc(c);
    const int o = c.add(M * (cx ? K : K / 2), kOut);
    c.ready({sp.win, x});
    const int32_t s = (cx ? CxReassignedSTFTSp : ReReassignedSTFTSp)(c.p(x), N, sp.ptr(c), c.p(o));
    c.check(cx ? "CxReassignedSTFTSp" : "ReReassignedSTFTSp", s, {0, 1, 29, NM}, {}, !r.wild);
}

}  // namespace

namespace varnel_fuzz {
extern const char* const kFamilyNames[] = {"conversions", "stft", "windows", "gabor", "quadratic", "gabor_sp", "adaptive", "reassigned"};
extern const int kFamilyCount = 8;
// Fixed at build time for a fuzzer, set per corpus directory by the replay driver.
#ifdef VARNEL_FUZZ_FAMILY
int family = VARNEL_FUZZ_FAMILY;
#else
int family = 0;
#endif
}  // namespace varnel_fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static void (*const families[])(Reader&) = {conversions, stft, windows, gabor, quadratic, gaborSp, adaptive, reassigned};
    Reader r(data, size);
    families[varnel_fuzz::family](r);
    return 0;
}
