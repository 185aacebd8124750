// Fuzz harness over all 42 exports, one entry per family. The first byte
// picks the export inside the family; the decoder then produces lengths,
// window specs, parameters and samples, including the hostile ones (0,
// negative, INT32_MIN/MAX, non-powers of two, NaN/Inf/subnormal/huge).
// Calls whose valid arguments would describe a huge output are skipped, so
// one execution stays short; invalid huge values are still passed.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

using namespace varnel_fuzz;
using Pred = std::vector<int32_t>;

namespace {

constexpr int32_t NM = kStatusNoMemory;

bool same(double a, double b) { return std::memcmp(&a, &b, 8) == 0 || (std::isnan(a) && std::isnan(b)); }
int64_t nonneg(int64_t v) { return v > 0 ? v : 0; }
int64_t extent(int64_t count, int64_t stride) { return count > 0 ? (count - 1) * stride + 1 : 0; }

// A spec for the STFT-like transforms: any window length, step and bin count.
Spec freeSpec(Reader& r, int32_t lCap, int32_t dCap, int mLog) {
    Spec s;
    s.ws.windowLength = r.i32(lCap);
    s.ws.timeStep = r.i32(dCap);
    s.ws.binCount = r.pow2(mLog);
    s.null = r.chance(8);
    return s;
}

// A spec that mostly satisfies the Gabor lattice rules.
Spec latticeSpec(Reader& r) {
    Spec s;
    if (r.u8() < 224) {
        const int lg = r.u8() % 8;
        s.ws.binCount = 1 << lg;
        s.ws.timeStep = 1 << (r.u8() % (lg + 1));
        s.ws.windowLength = s.ws.binCount * (1 + r.u8() % 4);
    } else {
        s.ws.binCount = r.pow2(8);
        s.ws.timeStep = r.i32(64);
        s.ws.windowLength = r.i32(1024);
    }
    return s;
}

bool latticeOk(const WindowSpec& w, bool dMPow2) {
    const int64_t L = w.windowLength, D = w.timeStep, N = w.binCount;
    return L >= 1 && D >= 1 && isPow2(N) && D <= N && L % D == 0 && L % N == 0 && (!dMPow2 || isPow2(D));
}

void window(Call& c, Spec& s, bool docNull) { s.win = c.in(nonneg(s.ws.windowLength), docNull); }
void fillWindow(Call& c, Spec& s) {
    s.ws.window = c.p(s.win);
    c.fill(s.win);
}

// ---------------------------------------------------------------- conversions
void conversions(Reader& r) {
    static const char* names[] = {"_Hc2Cx", "_Cx2Hc", "_Cx2ReIm", "_ReIm2Cx", "_Hc2ReIm", "_ReIm2Hc"};
    const int sel = r.u8() % 6;
    const int32_t n = r.i32(2048);
    if (n > 4096) return;
    const int64_t k = nonneg(n);
    Call c(r);
    const bool twoIn = sel == 3 || sel == 5, twoOut = sel == 2 || sel == 4;
    const int a = c.in(sel == 1 || sel == 2 ? 2 * k : k), a2 = twoIn ? c.in(k) : -1;
    const int b = c.out(sel == 0 || sel == 3 ? 2 * k : k), b2 = twoOut ? c.out(k) : -1;
    c.place();
    c.fill(a);
    if (a2 >= 0) c.fill(a2);
    c.seal();
    double *in = c.p(a), *in2 = a2 >= 0 ? c.p(a2) : nullptr, *o = c.p(b), *o2 = b2 >= 0 ? c.p(b2) : nullptr;
    switch (sel) {
        case 0: _Hc2Cx(in, o, n); break;
        case 1: _Cx2Hc(in, o, n); break;
        case 2: _Cx2ReIm(in, o, o2, n); break;
        case 3: _ReIm2Cx(in, in2, o, n); break;
        case 4: _Hc2ReIm(in, o, o2, n); break;
        case 5: _ReIm2Hc(in, in2, o, n); break;
    }
    // Void: either it acts (everything written) or it writes nothing.
    const bool acts = n >= 1 && !c.hostile();
    c.check(names[sel], acts ? 0 : -1, {0, -1}, {}, {}, !r.wild);
    if (!acts) return;
    for (int64_t j = 0; j < k; ++j) {  // plain moves are exact
        if (sel == 2 && !(same(o[j], in[2 * j]) && same(o2[j], in[2 * j + 1]))) fail("_Cx2ReIm moved element %lld", (long long)j);
        if (sel == 3 && !(same(o[2 * j], in[j]) && same(o[2 * j + 1], in2[j]))) fail("_ReIm2Cx moved element %lld", (long long)j);
    }
    if (sel == 0 && !r.wild) {  // the spectrum of a real sequence is conjugate-symmetric
        if (o[1] != 0) fail("_Hc2Cx: bin 0 not real");
        for (int64_t j = 1; j < k; ++j)
            if (o[2 * (k - j)] != o[2 * j] || o[2 * (k - j) + 1] != -o[2 * j + 1]) fail("_Hc2Cx: bins %lld and n-%lld not conjugate", (long long)j, (long long)j);
    }
}

// ---------------------------------------------------------------- STFT family
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
    const bool valid = !sp.null && N > L && D >= 1 && isPow2(M);
    const int64_t F = valid ? (N - L) / D + 1 : 0;
    if (valid && (F * std::max(M, L) > kMaxWork || N > kMaxElems / 2)) return;
    const int64_t bins = F * M;
    const int64_t nOut = sel == 5 ? (M == 1 ? (F + 1) / 2 : F * (M / 2)) : (ex ? extent(bins, os) : (cx && sel != 6 ? 2 : 1) * bins);
    Call c(r);
    const int64_t xExt = ex ? extent(N, xs) : (cx ? 2 : 1) * nonneg(N);
    const int x = c.in(xExt, L <= 0), xi = ex ? c.in(xExt, L <= 0) : -1;
    window(c, sp, true);
    const int o = c.out(nOut, false, !ex || os == 1), oi = ex ? c.out(nOut, false, os == 1) : -1;
    c.place();
    Pred pred{0};
    if (sp.null) pred = {1, 29};
    else if (N <= L) pred = {1};
    else if (D < 1 || !isPow2(M) || (L >= 1 && c.null(sp.win))) pred = {29};
    fillWindow(c, sp);
    c.fill(x);
    if (xi >= 0) c.fill(xi);
    if (c.oversized(pred)) return;
    c.seal();
    const int32_t shift0 = shift;
    int32_t* sh = shiftNull ? nullptr : &shift;
    const WindowSpec* ws = sp.ptr();
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
    c.check(names[sel], s, {0, 1, 29, NM}, pred, {}, !r.wild);
    if ((sel == 1 || sel == 4) && sh) {
        if (s != 0 && shift != shift0) fail("%s changed *shift on status %d", names[sel], s);
        // The new shift continues the phase: its residue is that of s0 + F*D.
        if (s == 0 && (uint32_t(shift) - uint32_t(shift0) - uint32_t(F * D)) % uint32_t(M) != 0)
            fail("%s: *shift %d -> %d, F*D = %lld, M = %lld", names[sel], shift0, shift, (long long)(F * D), (long long)M);
    }
}

// ------------------------------------------- Gaussian, dual window, extension
void windows(Reader& r) {
    const int sel = r.u8() % 4;
    Call c(r);
    if (sel == 0) {
        const int32_t n = r.i32(4096);
        const double centre = r.real(), variance = r.real();
        if (n > kMaxElems) return;
        const int o = c.out(nonneg(n));
        c.place();
        c.seal();
        const int32_t s = Gaussian(n, centre, variance, c.p(o));
        if (c.null(o)) {  // a null out is not an error: nothing to write into
            if (s != 0) fail("Gaussian with a null out returned %d", s);
            return;
        }
        const bool sane = variance > 1e-300 && variance < 1e300 && std::fabs(centre) < 1e100;
        c.check("Gaussian", s, {0}, {0}, {}, sane);
        const double sd = std::sqrt(variance);
        if (sane && variance >= 4 && variance <= 1e6 && centre - 8 * sd >= 0 && centre + 8 * sd <= n - 1.0) {
            long double e = 0;  // unit energy, by the Poisson sum of a wide Gaussian
            for (int32_t i = 0; i < n; ++i) e += (long double)c.p(o)[i] * c.p(o)[i];
            if (std::fabs(double(e) - 1) > 1e-9) fail("Gaussian(%d, %g, %g) has energy %.17g", n, centre, variance, double(e));
        }
    } else if (sel == 1) {
        const int32_t L = r.i32(512), dM = r.i32(32), N = r.pow2(7), mode = r.i32(2);
        const int64_t l = L > 0 ? std::min<int64_t>(L, 4096) : 0;
        // Each residue's system is about (L/dM) x (L/N): keep its SVD small.
        if (dM >= 1 && isPow2(N) && L >= 1 && (L > 4096 || int64_t(L / dM) * (L / N) * std::min(L / dM, L / N) > (1 << 16))) return;
        const int w = c.in(l), o = c.out(l);
        c.place();
        Pred pred{0};
        if (dM < 1 || !isPow2(N)) pred = {29};
        else if (L < 1 || L % dM != 0 || L % N != 0) pred = {1};
        else if (dM > N) pred = {29};
        else if (mode != 0 && mode != 1) pred = {kStatusBadSelector};
        c.fill(w);
        if (c.oversized(pred)) return;
        c.seal();
        // A window of subnormal samples has singular values far below the
        // 1e-10 cut and should get a zero dual; the library gives NaN today.
        bool normal = true;
        for (int64_t j = 0; c.p(w) && j < l; ++j) normal = normal && std::fpclassify(c.p(w)[j]) != FP_SUBNORMAL;
        c.check("FastDual", FastDual(c.p(w), L, dM, N, mode, c.p(o)), {0, 1, 29, kStatusBadSelector, NM}, pred, {}, !r.wild && normal);
    } else {
        const bool cx = sel == 3;
        const int32_t n = r.i32(512), m = r.i32(1024), mode = r.i32(7);
        if (n > kMaxElems / 2 || m > kMaxElems / 2) return;
        const int64_t w = cx ? 2 : 1;
        const bool xUnread = mode == 0 || m == 0;  // the Zero rule and an empty side need no samples
        const int x = c.in(w * nonneg(n), xUnread), lo = c.out(w * nonneg(m)), ro = c.out(w * nonneg(m));
        c.place();
        const bool known = mode >= 0 && mode <= 6 && mode != 4;
        Pred pred{0};
        if (!known) pred = m < 0 ? Pred{1, 4} : Pred{4};
        else if (m < 0 || (mode == 5 && n < 2) || (mode == 6 && n < 3) || (mode == 2 && n < 1)) pred = {1};
        else if (n < 1 || (c.null(x) && mode != 0)) pred = {0, 1};
        c.fill(x);
        if (c.oversized(pred)) return;
        c.seal();
        const int32_t s = (cx ? CxExtension : ReExtension)(c.p(x), n, mode, m, c.p(lo), c.p(ro));
        c.check(cx ? "CxExtension" : "ReExtension", s, {0, 1, 4, NM}, pred, {}, !r.wild);
        if (s != 0 || c.hostile() || (mode != 0 && mode != 2)) return;
        const double *xs = c.p(x), *ls = c.p(lo), *rs = c.p(ro);
        for (int64_t j = 0; j < m; ++j)
            for (int64_t part = 0; part < w; ++part) {  // Zero and Periodic are fixed by definition
                const double wantR = mode == 0 ? 0 : xs[w * (j % n) + part];
                const double wantL = mode == 0 ? 0 : xs[w * (n - 1 - j % n) + part];
                if (!same(rs[w * j + part], wantR) || !same(ls[w * (m - 1 - j) + part], wantL))
                    fail("%s rule %d: side sample %lld wrong", cx ? "CxExtension" : "ReExtension", mode, (long long)j);
            }
    }
}

// A null window passes for a lattice fault (29) or a missing array (1).
void windowNull(const Call& c, Pred& pred, int win, int win2) {
    const bool accepted = std::find(pred.begin(), pred.end(), 0) != pred.end();
    if (accepted && (c.null(win) || (win2 >= 0 && c.null(win2)))) pred = {1, 29};
}

// ---------------------------------------------------------------- DGT and DGE
void gabor(Reader& r) {
    static const char* names[] = {"ReDGT", "CxDGT", "CxDGTEx", "ReDGTWithIC", "ReDGE", "CxDGE", "CxDGEEx", "ReDGEWithIC", "DGT2d", "DGE2d"};
    const int sel = r.u8() % 10;
    Spec sp = latticeSpec(r);
    int sp2win = -1;
    const int64_t L = sp.ws.windowLength, dM = sp.ws.timeStep, N = sp.ws.binCount;
    const bool ok = latticeOk(sp.ws, sel == 3 || sel == 7);
    Call c(r);
    int32_t s = 0;
    Pred pred{0};
    if (sel <= 2) {  // ReDGT, CxDGT, CxDGTEx
        const int32_t n = r.i32(2048);
        const int layout = sel == 2 ? r.u8() % 4 : 0;  // split, interleaved, stride 2 apart, stride 3
        const int32_t inStride = layout == 0 ? 1 : layout == 3 ? 3 : 2, os = 1 + r.u8() % 2;
        const bool overflow = int64_t(n) + L > INT32_MAX;
        const int64_t P = n >= 1 && ok && !overflow && layout < 2 ? (n + dM - 1) / dM * dM : 0, F = P / std::max<int64_t>(dM, 1);
        if (F * std::max(N, L) > kMaxWork || (P && n > kMaxElems / 4)) return;
        // varnel.h wants 1 as soon as n + L passes 2^31 - 1, but the library
        // refuses only once its padded length P + L - dM does and otherwise
        // allocates gigabytes first; that band is left out until it agrees.
        // The layout is judged after the scratch buffer of n + L samples is taken.
        if (layout >= 2 && ok && n > kMaxElems / 4 && !overflow) return;
        if (overflow && layout < 2 && (int64_t(n) + dM - 1) / std::max<int64_t>(dM, 1) * dM + L - dM <= INT32_MAX) return;
        const int64_t bins = F * N;
        const int64_t xExt = sel == 0 ? nonneg(n) : sel == 1 || layout == 1 ? 2 * nonneg(n) : extent(n, inStride);
        const int x = c.in(xExt), xi = sel == 2 && layout != 1 ? c.in(xExt) : -1;
        window(c, sp, true);
        const int64_t oExt = sel == 2 ? extent(bins, os) : (sel == 1 ? 2 : 1) * bins;
        const int o = c.out(oExt, false, sel < 2 || os == 1), oi = sel == 2 ? c.out(oExt, false, os == 1) : -1;
        c.place();
        if (n < 1) pred = {1};
        else if (!ok) pred = {29};
        else if (overflow || (c.hostile() && kNullAndOverlapRules)) pred = {1};  // arrays before the layout
        else if (layout >= 2 || (layout == 1 && c.null(x))) pred = {-1};
        else if (n <= dM) pred = {0, 1};
        fillWindow(c, sp);
        c.fill(x);
        if (xi >= 0) c.fill(xi);
        windowNull(c, pred, sp.win, sp2win);
        if (c.oversized(pred)) return;
        c.seal();
        if (sel == 0) s = ReDGT(c.p(x), n, &sp.ws, c.p(o));
        if (sel == 1) s = CxDGT(c.p(x), n, &sp.ws, c.p(o));
        if (sel == 2)
            s = CxDGTEx(c.p(x), layout == 1 ? c.p(x, 1) : c.p(xi), inStride, n, &sp.ws, c.p(o), c.p(oi), os);
        c.check(names[sel], s, {0, 1, 29, -1, NM}, pred, {}, !r.wild);
    } else if (sel == 3) {  // ReDGTWithIC
        const int32_t n = r.i32(2048);
        int32_t hl = r.i32(64);
        const bool hlNull = r.chance(16);
        const int64_t T = int64_t(hl) + n, F = T >= L ? (T - L) / std::max<int64_t>(dM, 1) + 1 : 0;
        const bool bad1 = n < 1 || hlNull || hl < 0 || (F - 1) * dM + L + 1 > INT32_MAX;
        if (!bad1 && ok && (F * std::max(N, L) > kMaxWork || T > kMaxElems / 2)) return;
        const int x = c.in(nonneg(n)), h = c.inout(std::max<int64_t>(nonneg(hl), L - 1));
        window(c, sp, true);
        const int o = c.out(bad1 || !ok ? 0 : F * N);
        c.place();
        if (bad1) pred = ok ? Pred{1} : Pred{1, 29};
        else if (!ok) pred = {29};
        fillWindow(c, sp);
        c.fill(x);
        c.fill(h);
        windowNull(c, pred, sp.win, sp2win);
        if (c.oversized(pred)) return;
        c.seal();
        const int32_t hl0 = hl;
        s = ReDGTWithIC(c.p(x), n, c.p(h), hlNull ? nullptr : &hl, &sp.ws, c.p(o));
        c.check(names[sel], s, {0, 1, 29, NM}, pred, {}, !r.wild);
        if (s != 0) {
            if (!c.unchanged(h) || hl != hl0) fail("ReDGTWithIC changed its history on status %d", s);
        } else if (!c.hostile()) {
            // The new history is the tail of history + x from the first frame not computed.
            if (hl != T - F * dM) fail("ReDGTWithIC: history length %d, expected %lld", hl, (long long)(T - F * dM));
            for (int64_t j = 0; j < hl; ++j) {
                const int64_t t = F * dM + j;
                double want;
                if (t < hl0) std::memcpy(&want, &c.at(h).snap[t], 8);
                else want = c.p(x)[t - hl0];
                if (!same(c.p(h)[j], want)) fail("ReDGTWithIC: history[%lld] is not combined sample %lld", (long long)j, (long long)t);
            }
        }
    } else if (sel <= 7) {  // ReDGE, CxDGE, CxDGEEx, ReDGEWithIC
        const int32_t F = r.i32(32), Narg = r.chance(224) ? int32_t(N) : r.i32(256), outLength = r.i32(2048);
        const int32_t is = 1 + r.u8() % 2, os = 1 + r.u8() % 2;
        const bool interleaved = sel == 6 && is == 2 && r.chance(128);
        int32_t sl = r.i32(64);
        const bool slNull = r.chance(16);
        const bool bad1 = F < 1 || Narg < 1 || (sel != 7 && outLength < 1);
        const bool bad29 = !ok || Narg != N;
        const bool bad1b = sel == 7 && (slNull || sl < 0 || sl > L - dM);
        const bool valid = !bad1 && !bad29 && !bad1b;
        const int64_t frames = valid ? F : 0, outLen = sel == 7 ? frames * dM : nonneg(outLength), bins = frames * N;
        if (valid && (frames * std::max(N, L) > kMaxWork || outLen > kMaxElems / 4)) return;
        const int64_t cExt = sel == 6 ? (interleaved ? 2 * bins : extent(bins, is)) : (sel == 5 ? 2 : 1) * bins;
        const int cf = c.in(cExt), ci = sel == 6 && !interleaved ? c.in(cExt) : -1;
        window(c, sp, true);
        const int64_t oExt = sel == 6 ? extent(outLen, os) : (sel == 5 ? 2 : 1) * outLen;
        const int o = c.out(oExt, false, sel != 6 || os == 1), oi = sel == 6 ? c.out(oExt, false, os == 1) : -1;
        const int st = sel == 7 ? c.inout(std::max<int64_t>(L - dM, 0)) : -1;
        c.place();
        if (bad1) pred = {1};
        else if (bad29) pred = {29};
        else if (bad1b) pred = {1};
        fillWindow(c, sp);
        c.fill(cf);
        if (ci >= 0) c.fill(ci);
        if (st >= 0) c.fill(st);
        windowNull(c, pred, sp.win, sp2win);
        if (c.oversized(pred)) return;
        c.seal();
        const int32_t sl0 = sl;
        if (sel == 4) s = ReDGE(c.p(cf), F, Narg, &sp.ws, c.p(o), outLength);
        if (sel == 5) s = CxDGE(c.p(cf), F, Narg, &sp.ws, c.p(o), outLength);
        if (sel == 6)
            s = CxDGEEx(c.p(cf), interleaved ? c.p(cf, 1) : c.p(ci), is, F, Narg, &sp.ws, c.p(o), c.p(oi), os, outLength);
        if (sel == 7) s = ReDGEWithIC(c.p(cf), F, Narg, &sp.ws, c.p(o), c.p(st), slNull ? nullptr : &sl);
        c.check(names[sel], s, {0, 1, 29, NM}, pred, {}, !r.wild);
        if (sel == 7 && !slNull && sl != (s == 0 ? L - dM : sl0)) fail("ReDGEWithIC: *stateLength %d after status %d", sl, s);
        if (s == 0 && sel != 7 && !c.hostile()) {  // one period of F*dM samples, then zeros
            const int64_t step = sel == 6 ? os : 1, parts = sel == 5 ? 2 : 1;
            for (int64_t t = F * dM; t < outLength; ++t)
                for (int64_t q = 0; q < parts; ++q)
                    if (c.p(o)[t * step * parts + q] != 0 || (oi >= 0 && c.p(oi)[t * step] != 0))
                        fail("%s: sample %lld beyond the period is not 0", names[sel], (long long)t);
        }
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
        const bool bad1 = nRows < 1 || nCols < 1 || (sel == 9 && (F1 < 1 || F2 < 1 || N1a < 1 || N2a < 1));
        const bool bad29 = !ok || !ok2 || (sel == 9 && (N1a != N || N2a != N2));
        const bool valid = !bad1 && !bad29;
        const long double size = valid ? 2.0L * F1 * N * F2 * N2 : 0;
        if (size > kMaxElems / 2 || size * std::max(sp.ws.windowLength, sp2.ws.windowLength) > 64 * kMaxWork) return;
        const int64_t coefs = int64_t(size), pixels = valid ? int64_t(nRows) * nCols : 0;
        window(c, sp, true);
        window(c, sp2, true);
        sp2win = sp2.win;
        const int in = c.in(sel == 8 ? pixels : coefs), o = c.out(sel == 8 ? coefs : pixels);
        c.place();
        if (bad1) pred = {1};
        else if (bad29) pred = {29};
        fillWindow(c, sp);
        fillWindow(c, sp2);
        c.fill(in);
        windowNull(c, pred, sp.win, sp2win);
        if (c.oversized(pred)) return;
        c.seal();
        if (sel == 8) s = DGT2d(c.p(in), nRows, nCols, &sp.ws, &sp2.ws, c.p(o));
        else s = DGE2d(c.p(in), F1, N1a, F2, N2a, &sp.ws, &sp2.ws, c.p(o), nRows, nCols);
        // A one-dimensional pass may refuse its length (nRows = dM1).
        c.check(names[sel], s, {0, 1, 29, NM}, pred, {1}, !r.wild);
    }
}

// ------------------------------------------------- WVD, Cohen, CWD and CSD
void quadratic(Reader& r) {
    static const char* names[] = {"WVD", "Cohen", "CWD", "CSD"};
    const int sel = r.u8() % 4;
    const int32_t N = r.i32(1024), nFreq = r.pow2(9), ts = r.pow2(5), analytic = r.i32(2);
    const bool real = r.chance(128);
    const double param = r.real();
    const int64_t T = N >= 1 && ts >= 1 ? N / ts : 0;
    const int64_t B = nFreq >= 1 && isPow2(nFreq) ? (real ? nFreq / 2 : nFreq) : 0;
    const int64_t W = nextPow2(N), fit = nextPow2(T * ts);
    int32_t kW = r.chance(200) ? int32_t(fit) : r.pow2(11);
    const int64_t kRows = nFreq >= 1 ? nFreq : 0;
    // Above 2^30 samples the padded length has no FFT: refused before any work.
    const bool huge = N > (1 << 30) && sel != 1;
    if (!huge && (N > 4096 || T * B > kMaxElems)) return;
    if (sel == 1 && isPow2(kW) && kW >= N && kRows * kW > kMaxWork) return;
    if (sel >= 2 && !huge && kRows * W > kMaxWork) return;
    Call c(r);
    const int re = c.in(nonneg(N), true), im = real ? -1 : c.in(nonneg(N));
    const int k = sel == 1 ? c.in(kRows * nonneg(kW), true) : -1;
    if (im >= 0) c.at(im).keep = true;  // a null im means a real signal
    const int o = c.out(huge ? 0 : T * B, true);
    c.place();
    Pred pred{0};
    const bool nulls = c.null(re) || (c.null(o) && T * B > 0);
    if (sel == 0) {
        if (N < 1) pred = {1};
        else if (!isPow2(nFreq)) pred = {3};
        else if (ts < 1) pred = {22};
        else if (T * B == 0) pred = {0};
        else if (nulls) pred = {1};
        else if (huge) pred = {NM, 1};
    } else if (sel == 1) {
        if (N < 1) pred = {1};
        else if (!isPow2(nFreq) || !isPow2(kW) || kW < N) pred = {28};
        else if (!isPow2(ts)) pred = {22};
        else if (c.null(re) || c.null(o)) pred = T * B > 0 || c.null(re) ? Pred{1} : Pred{};
        else if (c.null(k)) pred = {28};
        else if (kW != fit) pred = {28};
    } else {
        if (N < 1) pred = {1};
        else if (!isPow2(ts)) pred = {22};
        else if ((uint32_t(nFreq) & (uint32_t(nFreq) - 1)) != 0) pred = {3};
        else if (nFreq < 1) pred = {28};
        else if (c.null(re) || c.null(o)) pred = T * B > 0 || c.null(re) ? Pred{1} : Pred{};
        else if (huge) pred = {NM, 1};
        else if (T * ts <= W / 2) pred = {28};
    }
    c.fill(re);
    if (im >= 0) c.fill(im);
    if (k >= 0) c.fill(k);
    if (c.oversized(pred)) return;
    c.seal();
    const double* imp = im >= 0 ? c.p(im) : nullptr;
    int32_t s = 0;
    if (sel == 0) s = WVD(c.p(re), imp, N, nFreq, ts, analytic, c.p(o));
    if (sel == 1) s = Cohen(c.p(re), imp, N, c.p(k), nFreq, kW, ts, analytic, c.p(o));
    if (sel == 2) s = CWD(c.p(re), imp, N, nFreq, ts, param, analytic, c.p(o));
    if (sel == 3) s = CSD(c.p(re), imp, N, nFreq, ts, param, analytic, c.p(o));
    c.check(names[sel], s, {0, 1, 3, 22, 28, NM}, pred, {}, !r.wild);
}

// ------------------------ Gabor spectrogram, its mean IF, slice centroids
void gaborSp(Reader& r) {
    const int sel = r.u8() % 3;
    Call c(r);
    if (sel == 2) {
        const int32_t T = r.i32(128), F = r.i32(128), r1 = r.i32(8), r2 = r.i32(8);
        const bool valid = T >= 1 && F >= 1;
        if (valid && int64_t(T) * F > kMaxElems) return;
        const int S = c.in(valid ? int64_t(T) * F : 0), fq = c.out(valid ? T : 0), en = c.out(valid ? T : 0);
        c.place();
        c.fill(S);
        c.seal();
        const int32_t s = InstantaneousFrequency(c.p(S), T, F, r1, r2, c.p(fq), c.p(en));
        c.check("InstantaneousFrequency", s, {0, 1}, valid ? Pred{0} : Pred{1}, {}, !r.wild);
        if (s != 0 || r.wild || c.hostile()) return;
        for (int32_t t = 0; t < T; ++t) {  // sums recomputed in long double
            long double e = 0, m = 0, mag = 0;
            for (int32_t k = 0; k < F; ++k) {
                const long double v = c.p(S)[int64_t(t) * F + k];
                e += v, m += k * v, mag += std::fabs(v) * (k + 1);
            }
            if (std::fabs(double(e - c.p(en)[t])) > 1e-12 * double(mag) + 1e-300) fail("InstantaneousFrequency: energy[%d]", t);
            const long double q = m / e;
            const bool clear = std::fabs(double(e)) > 1e-6 * double(mag) && q > 1e-6 && q < F - 1 - 1e-6;
            if (clear && std::fabs(double(q) - c.p(fq)[t]) > 1e-9 * F) fail("InstantaneousFrequency: freq[%d] %g, centroid %g", t, c.p(fq)[t], double(q));
        }
        return;
    }
    const int32_t M = r.i32(24), N = r.pow2(6), dM = r.pow2(4), lo = r.i32(4), hi = r.i32(4), K2 = r.i32(8), K1 = r.i32(8);
    const int32_t f0 = r.i32(64), nF = r.chance(128) ? int32_t(std::max<int64_t>(int64_t(N) * K1 - nonneg(f0), 1)) : r.i32(64);
    const double a = r.u8() < 192 ? std::ldexp(1.0 + r.u8() / 64.0, int(r.u8() % 16) - 6) : r.real();
    const long double kWidth = sel == 0 ? 6.3L * std::sqrt((long double)a) : 12 * std::sqrt(2 * (long double)a);
    const long double NT = dM >= 1 && a > 0 ? std::exp2(std::ceil(std::log2(std::ceil(kWidth / dM) + std::max(M, 1)))) : 0;
    Pred pred{0};
    int64_t outN = 0;
    if (sel == 0) {
        const int64_t bins = int64_t(N) * K1;
        if (M < 1 || !isPow2(N)) pred = {1};
        else if (!isPow2(dM)) pred = {29};
        else if (hi < 0) pred = {23};
        else if (!(a > 0)) pred = {27};
        else if (K2 < 0 || K1 < 0) pred = {31};
        else if (!(f0 >= 0 && f0 < bins && nF >= 1 && nF <= bins - f0)) pred = {30};
        else if (K2 == 0) pred = {0};
        else if (NT > (1 << 30)) pred = {NM, 1};  // 1: the unallocated extents may overlap
        else {
            if (M > 4096) return;
            outN = int64_t(M) * K2 * nF;
            if (outN > kMaxElems || (long double)nF * K2 * NT + 2.0L * K2 * NT + 2.0L * bins > kMaxWork) return;
        }
    } else {
        if (M < 1 || !isPow2(N)) pred = {1};
        else if (!(a > 0)) pred = {27};
        else if (!isPow2(dM)) pred = {29};
        else if (lo < 0) pred = {23};
        else if (K2 < 0) pred = {31};
        else if (M == 1 || K2 == 0) pred = {0};
        else if (NT > (1 << 30)) pred = {NM, 1};  // 1: the unallocated extents may overlap
        else {
            outN = int64_t(M - 1) * K2;
            if (8.0L * K2 * NT > kMaxWork) return;
        }
    }
    const int64_t nCoefs = M >= 1 && isPow2(N) && pred[0] == 0 ? 2 * int64_t(M) * N : 0;
    if (nCoefs > kMaxElems) return;
    const bool empty = outN == 0 && pred[0] == 0;  // an empty output may leave the coefficients unread
    const int cf = c.in(nCoefs, empty), o = c.out(outN);
    c.place();
    if (empty && c.null(cf)) pred = {0, 1};
    c.fill(cf);
    if (c.oversized(pred)) return;
    c.seal();
    if (sel == 0) {
        const int32_t s = CxGaborSp(c.p(cf), M, N, dM, a, lo, hi, K2, K1, f0, nF, c.p(o));
        c.check("CxGaborSp", s, {0, 1, 23, 27, 29, 30, 31, NM}, pred, {}, !r.wild && a >= 1e-3 && a <= 1e6);
    } else {
        const int32_t s = MIFOfGaborSp(c.p(cf), M, N, dM, a, lo, K2, c.p(o));
        c.check("MIFOfGaborSp", s, {0, 1, 23, 27, 29, 31, NM}, pred, {}, false);
    }
}

// --------------------------------------------------------- adaptive family
// Terms: mostly usable and compact, sometimes with a hostile field.
bool fillTerms(Reader& r, Call& c, int t, int cf, int32_t count, int32_t span, bool& tameTerms) {
    auto* terms = reinterpret_cast<AdaptiveTerm*>(c.p(t));
    double* coefs = c.p(cf);
    bool usable = true;
    tameTerms = true;
    for (int32_t j = 0; j < count; ++j) {
        AdaptiveTerm g{std::ldexp(1.0, -int(r.u8() % 24)), double(r.u16() % (span + 16)) - 8 + r.u8() / 256.0,
                       int8_t(r.u8()) / 16.0, int8_t(r.u8()) / 1024.0};
        double cre = int8_t(r.u8()) / 8.0, cim = int8_t(r.u8()) / 8.0;
        if (r.chance(24)) {
            double* field[] = {&g.alpha, &g.tc, &g.omega, &g.beta, &cre, &cim};
            *field[r.u8() % 6] = r.real();
        }
        usable = usable && std::isfinite(g.alpha) && g.alpha > 0 && std::isfinite(g.tc) && std::isfinite(g.omega) &&
                 std::isfinite(g.beta) && std::isfinite(cre) && std::isfinite(cim);
        tameTerms = tameTerms && g.alpha >= 1e-12 && g.alpha <= 1e12 && std::fabs(g.tc) <= 1e7 && std::fabs(g.omega) <= 1e3 &&
                    std::fabs(g.beta) <= 1e3 && tame(cre) && tame(cim);
        if (terms) terms[j] = g;
        if (coefs) coefs[2 * j] = cre, coefs[2 * j + 1] = cim;
    }
    return usable;
}

void adaptive(Reader& r) {
    static const char* names[] = {"ReAdaptiveExpansion", "CxAdaptiveExpansion", "ReAdaptiveSp", "CxAdaptiveSp",
                                  "ReAdaptiveTransform", "CxAdaptiveTransform"};
    const int sel = r.u8() % 6;
    const bool cx = sel % 2 == 1;
    Call c(r);
    Pred pred{0};
    bool tameTerms = false;
    if (sel <= 3) {
        const int32_t nt = r.i32(6);
        const int64_t terms = nt >= 1 && nt <= 64 ? nt : 0;
        const int t = c.in(4 * terms, true), cf = c.in(2 * terms, true);
        int32_t s = 0;
        if (sel <= 1) {
            const int32_t length = r.i32(2048);
            if (length > kMaxElems / 2) return;
            const int o = c.out((cx ? 2 : 1) * nonneg(length), true);
            c.place();
            const bool usable = fillTerms(r, c, t, cf, int32_t(terms), nonneg(length), tameTerms);
            if (nt < 1 || length < 1 || c.null(t) || c.null(cf) || c.null(o)) pred = {1};
            else if (!usable) pred = c.hostile() ? Pred{1, 32} : Pred{32};  // overlap may be judged first
            else if (nt > 64) return;
            if (c.oversized(pred)) return;
            c.seal();
            s = (cx ? CxAdaptiveExpansion : ReAdaptiveExpansion)(reinterpret_cast<AdaptiveTerm*>(c.p(t)), c.p(cf), nt, length, c.p(o));
            // Cx: 1 when a term lies wholly outside, after the earlier terms were added.
            c.check(names[sel], s, {0, 1, 32, NM}, pred, cx ? Pred{1, NM} : Pred{NM},
                    tameTerms);
            if (s != 0 || !cx || !tameTerms || c.hostile() || int64_t(nt) * length > 1 << 14) return;
            // The complex expansion evaluated directly from the chirplet formula.
            const auto* g = reinterpret_cast<const AdaptiveTerm*>(c.p(t));
            for (int32_t n = 0; n < length; ++n) {
                long double re = 0, im = 0, scale = 0;
                for (int32_t j = 0; j < nt; ++j) {
                    const long double u = n - g[j].tc, amp = std::pow(g[j].alpha / M_PI, 0.25);
                    const long double cr = c.p(cf)[2 * j], ci = c.p(cf)[2 * j + 1];
                    scale += amp * (std::fabs(cr) + std::fabs(ci));
                    if (std::fabs(u) > 9 / std::sqrt(g[j].alpha)) continue;
                    const long double env = amp * std::exp(-g[j].alpha * u * u / 2), ph = g[j].omega * u + g[j].beta * u * u / 2;
                    re += env * (cr * std::cos(ph) - ci * std::sin(ph));
                    im += env * (cr * std::sin(ph) + ci * std::cos(ph));
                }
                const double tol = 1e-9 * double(scale) + 1e-12;
                if (std::fabs(double(re) - c.p(o)[2 * n]) > tol || std::fabs(double(im) - c.p(o)[2 * n + 1]) > tol)
                    fail("CxAdaptiveExpansion: sample %d is (%g, %g), formula (%g, %g)", n, c.p(o)[2 * n], c.p(o)[2 * n + 1], double(re), double(im));
            }
        } else {
            const int32_t dt = r.i32(8), K = r.pow2(8), t0 = r.i32(64), f0 = r.i32(64), rows = r.i32(128);
            const int32_t cols = r.chance(160) ? int32_t(std::max<int64_t>(int64_t(K) - nonneg(f0), 1)) : r.i32(256);
            const bool fits = rows >= 1 && cols >= 1;
            if (fits && int64_t(rows) * cols > kMaxElems) return;
            const int o = c.out(fits ? int64_t(rows) * cols : 0, true);
            c.place();
            const bool usable = fillTerms(r, c, t, cf, int32_t(terms), 256, tameTerms);
            if (nt < 1 || !fits || c.null(t) || c.null(cf) || c.null(o)) pred = {1};
            else if (dt < 1) pred = {21};
            else if (K < 1) pred = {3};
            else if (f0 < 0 || f0 >= K || int64_t(f0) + cols > K) pred = {30};
            else if (!usable) pred = c.hostile() ? Pred{1, 32} : Pred{32};  // overlap may be judged first
            else if (nt > 64) return;
            // The library judges overlap with the null tests, ahead of 21, 3 and 30.
            if (c.hostile()) pred.push_back(1);
            if (c.oversized(pred)) return;
            c.seal();
            s = (cx ? CxAdaptiveSp : ReAdaptiveSp)(c.p(cf), reinterpret_cast<AdaptiveTerm*>(c.p(t)), nt, dt, K, t0, f0, rows, cols, c.p(o));
            // A subnormal alpha is usable, but the library's cells turn NaN for it today.
            bool normal = true;
            for (int64_t j = 0; c.p(t) && j < terms; ++j) normal = normal && c.p(t)[4 * j] >= DBL_MIN;
            c.check(names[sel], s, {0, 1, 3, 21, 30, 32}, pred, {}, usable && normal && pred[0] == 0);
            if (s == 0 && !c.hostile())  // a sum of Wigner distributions of Gaussian chirplets is non-negative
                for (int64_t e = 0; e < int64_t(rows) * cols; ++e)
                    if (c.p(o)[e] < 0) fail("%s: cell %lld is %g < 0", names[sel], (long long)e, c.p(o)[e]);
        }
        return;
    }
    // Adaptive transform.
    const int32_t N = r.i32(384), chirpMode = r.i32(1), extMode = r.i32(6), rawWl = r.i32(512);
    const double rangeFactor = r.real();
    const int32_t maxAttempts = r.i32(3), maxTerms = r.i32(3);
    const int32_t wl = rawWl > 4096 && rawWl <= (1 << 30) ? 4096 : rawWl;  // a 2^30 window is valid but not affordable
    const int64_t L = wl < 8 ? (N >= 1 ? int64_t(1) << int(std::lround(std::log2(double(N)))) : 0) : nextPow2(wl);
    // Every refinement attempt costs probe correlations: a billion of them is valid but endless.
    if (N > 1024 || (maxTerms > 8 && N >= 8) || maxAttempts > 16) return;
    const int64_t w = cx ? 2 : 1, slots = std::clamp<int32_t>(maxTerms, 0, 8);
    const int sig = c.in(w * nonneg(N), true), res = c.out(w * nonneg(N), true), pct = c.out(1, true);
    const int cf = c.out(2 * slots, true, false), t = c.out(4 * slots, true, false);
    c.at(cf).scratchOnFail = c.at(t).scratchOnFail = true;
    const bool countNull = r.chance(12);
    c.place();
    if (N < 8) pred = {1};
    else if (maxTerms < 0) pred = {25};
    else if (countNull || c.null(sig) || c.null(res) || c.null(pct) || (maxTerms > 0 && (c.null(cf) || c.null(t)))) pred = {1};
    else if (c.hostile()) pred = {1};  // arrays come before memory and the extension rule
    else if (L > (1 << 30)) pred = {NM};
    else if (maxTerms > 0 && (extMode < 0 || extMode > 6 || extMode == 4)) pred = {4};
    c.fill(sig);
    if (c.oversized(pred)) return;
    c.seal();
    int32_t count = -7;
    const int32_t s = (cx ? CxAdaptiveTransform : ReAdaptiveTransform)(c.p(sig), N, chirpMode, extMode, wl, rangeFactor, maxAttempts, maxTerms,
                                                                    countNull ? nullptr : &count, c.p(pct), c.p(cf),
                                                                    reinterpret_cast<AdaptiveTerm*>(c.p(t)), c.p(res));
    c.check(names[sel], s, {0, 1, 4, 25, NM}, pred, {}, false);
    if (countNull) return;
    if (s != 0 && count != 0) fail("%s: *numTermsOut %d after status %d", names[sel], count, s);
    if (s != 0 || c.hostile()) return;
    if (count < 0 || count > maxTerms) fail("%s: %d terms of at most %d", names[sel], count, maxTerms);
    const auto* g = reinterpret_cast<const AdaptiveTerm*>(c.p(t));
    for (int32_t j = 0; j < count; ++j)
        if (!(g[j].alpha > 0) || !std::isfinite(g[j].alpha) || !std::isfinite(g[j].tc) || !std::isfinite(g[j].omega) ||
            !std::isfinite(g[j].beta) || !std::isfinite(c.p(cf)[2 * j]) || !std::isfinite(c.p(cf)[2 * j + 1]))
            fail("%s: returned term %d is not usable", names[sel], j);
    if (r.wild) return;
    long double energy = 0;
    for (int64_t e = 0; e < w * N; ++e) energy += (long double)c.p(sig)[e] * c.p(sig)[e];
    for (int64_t e = 0; e < w * N; ++e)
        if (!std::isfinite(c.p(res)[e])) fail("%s: residual sample %lld not finite", names[sel], (long long)e);
    // Every counted term lowered the residual energy.
    const double p = *c.p(pct);
    if (energy > 0 && !(p >= 0 && p <= 100 * (1 + 1e-9))) fail("%s: residual percentage %g", names[sel], p);
}

// ------------------------------------------------- reassigned spectrograms
void reassigned(Reader& r) {
    const bool cx = r.u8() & 1;
    const int32_t N = r.i32(2048);
    Spec sp = freeSpec(r, 256, 32, 9);
    const int64_t Lw = sp.ws.windowLength, dt = sp.ws.timeStep, K = sp.ws.binCount;
    const bool valid = !sp.null && N >= Lw && dt >= 1 && isPow2(K) && Lw >= 2;
    const int64_t M = valid ? (N - Lw) / dt + 1 : 0, kOut = cx ? K : K / 2;
    if (valid && (M * std::max(K, Lw) > kMaxWork || N > kMaxElems / 2)) return;
    Call c(r);
    const int x = c.in((cx ? 2 : 1) * nonneg(N), true);
    window(c, sp, true);
    const int o = c.out(M * kOut, true);
    c.place();
    Pred pred{0};
    if (sp.null) pred = {29};
    else if (N < Lw) pred = {1};
    else if (dt < 1 || !isPow2(K) || Lw < 2 || c.null(sp.win)) pred = {29};
    else if (c.null(x) || c.null(o)) pred = {1};
    fillWindow(c, sp);
    c.fill(x);
    if (c.oversized(pred)) return;
    c.seal();
    const int32_t s = (cx ? CxReassignedSTFTSp : ReReassignedSTFTSp)(c.p(x), N, sp.ptr(), c.p(o));
    const char* name = cx ? "CxReassignedSTFTSp" : "ReReassignedSTFTSp";
    c.check(name, s, {0, 1, 29, NM}, pred, {}, !r.wild);
    if (s == 0 && !c.hostile() && !r.wild)  // moved energies are non-negative
        for (int64_t e = 0; e < M * kOut; ++e)
            if (c.p(o)[e] < 0) fail("%s: cell %lld is %g < 0", name, (long long)e, c.p(o)[e]);
}

using Family = void (*)(Reader&);
const Family kFamilies[] = {conversions, stft, windows, gabor, quadratic, gaborSp, adaptive, reassigned};

}  // namespace

namespace varnel_fuzz {
extern const char* const kFamilyNames[] = {"conversions", "stft", "windows", "gabor", "quadratic", "gabor_sp", "adaptive", "reassigned"};
extern const int kFamilyCount = 8;
// The family the entry point exercises: fixed at build time for a fuzzer,
// set per corpus directory by the replay driver.
#ifdef VARNEL_FUZZ_FAMILY
int family = VARNEL_FUZZ_FAMILY;
#else
int family = 0;
#endif
}  // namespace varnel_fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r(data, size);
    kFamilies[varnel_fuzz::family](r);
    return 0;
}
