"""A plain numpy model of the adaptive chirplet transform: the greedy
pursuit step by step (coarse peak table with its incremental rescans,
log-parabolic refinement, coefficient and subtraction, energy test)."""
import collections
import math

import numpy as np

Term = collections.namedtuple("Term", "alpha tc omega beta")
TWO_PI = 2.0 * math.pi


def next_pow2(n):
    return 1 << (n - 1).bit_length()


def chirplet(term, n):
    """g(i) for i = 0..n-1, unit energy in continuous time."""
    u = np.arange(n) - term.tc
    phase = u * (term.omega + 0.5 * term.beta * u)
    return (term.alpha / math.pi) ** 0.25 * np.exp(-0.5 * term.alpha * u * u + 1j * phase)


def power(s):
    return s.real * s.real + s.imag * s.imag


def levels(L, S0):
    """(window, hop) of every level, longest window first; none when S0 < 2."""
    out, W, S = [], L, S0
    while S > 1:
        out.append((W, S))
        W, S = W // 2, S // 2
    return out


def scan_peaks(r, extension, L, S0, start, end, table):
    """Recompute the (largest power, first bin) of the frames reaching [start, end]; the residual is
    extended by L/2 samples at each end by the Zero (0) or Periodic (2) rule."""
    assert extension in (0, 2), "the model knows only the Zero and Periodic rules"
    N, e = len(r), np.pad(r, L // 2, mode="constant" if extension == 0 else "wrap")
    for (W, S), (values, bins) in zip(levels(L, S0), table):
        v, i = W * S / TWO_PI, np.arange(W)
        window = (1.0 / math.sqrt(math.sqrt(math.pi * v))) * np.exp(-0.5 / v * (i - (W - 1) / 2.0) ** 2)
        m0, m1 = max(start - W // 2, 0) // S, -(-min(N, end + W // 2) // S)
        if m1 <= m0:
            continue
        segments = e[((L - W) // 2 + np.arange(m0, m1) * S)[:, None] + i] * window
        P = power(np.fft.fft(segments, axis=1) if np.iscomplexobj(r) else np.fft.rfft(segments, axis=1)[:, :W // 2])
        values[m0:m1], bins[m0:m1] = P.max(axis=1), P.argmax(axis=1)


def best_peak(table, L, S0):
    best, bm, bk, bW, bS = 0.0, 0, 0, L, S0
    for (W, S), (values, bins) in zip(levels(L, S0), table):
        m = int(np.argmax(values))
        if values[m] > best:
            best, bm, bk, bW, bS = values[m], m, int(bins[m]), W, S
    return Term(TWO_PI / (bS * bW), float(bS * bm), TWO_PI * bk / bW, 0.0)


def frequency_fit(r, T, dw):
    Q = np.array([power(np.sum(r * np.conj(chirplet(T._replace(omega=T.omega + j * dw), len(r))))) for j in (-1, 0, 1)])
    with np.errstate(all="ignore"):
        spread = np.log(Q[0] * Q[2] / (Q[1] * Q[1]))
        A = -0.25 * spread / (dw * dw)
        B = T.omega + 0.5 * dw * np.log(Q[0] / Q[2]) / spread
    return A, B, Q, 0 if A > 0 else 1


def time_chirp_fit(A, B, S, t, chirp_mode, cur):
    with np.errstate(all="ignore"):
        b = (B[0] - B[1]) / (t[0] - t[1])
        if abs(b) >= 1e-8 and abs((cur.beta - b) / b) >= 0.001 and chirp_mode != 1:
            d = b - cur.beta
            q = cur.alpha / d
            beta = cur.beta + (cur.alpha / (A[0] + A[1])) / (q * q + 1.0) / d
            alpha = (beta - b) * q
        else:
            alpha, beta = 1.0 / (A[0] + A[1]) - cur.alpha, cur.beta
        tc = (t[0] + t[1]) / 2.0 + (1.0 / cur.alpha + 1.0 / alpha) * (S[0] - S[1]) / (t[0] - t[1])
        omega = B[0] + b * (tc - t[0])
    out = Term(float(alpha), float(tc), float(omega), float(beta))  # a fit not finite never becomes a term
    return out, float(b), (0 if alpha > 0 else 2) | (0 if all(map(math.isfinite, out)) else 4)


def refine_attempt(r, chirp_mode, dt, dw, cur):
    """(flags, value, probe, fitted term, next probe chirp rate)."""
    if abs(cur.omega) < 1e-8:
        return 0, 0.0, cur, cur, 0.0
    t = (cur.tc - dt, cur.tc + dt)
    A, B, S, Q, flags = [], [], [], [], 0
    for ti in t:
        a, b, q, f = frequency_fit(r, cur._replace(tc=ti), dw)
        A.append(a), B.append(b), Q.extend(q)
        with np.errstate(all="ignore"):
            S.append(a * (b - cur.omega) ** 2 + 0.5 * np.log(q[1]))
        flags |= f
    out, probe_beta, f = time_chirp_fit(A, B, S, t, chirp_mode, cur)
    idx = int(np.argmax(Q))
    probe = cur._replace(tc=t[1] if idx >= 3 else t[0], omega=cur.omega + (idx % 3 - 1) * dw)
    return flags | f, Q[idx], probe, out, probe_beta


def refine_term(r, chirp_mode, max_attempts, dt, dw, term):
    best, best_value, probe_beta = term, 0.0, term.beta
    for _ in range(max_attempts):
        flags, value, probe, out, probe_beta = refine_attempt(r, chirp_mode, dt, dw, term._replace(beta=probe_beta))
        if value > best_value:
            best_value, best = value, probe
        if flags == 0:
            return out
    return best


def real_wave(term, coef, lo, hi, N):
    """c g on samples lo..hi-1 zero-padded to a power of two M, the half of its spectrum where omega lies
    mirrored into the other (a real sequence); the part inside 0..N-1."""
    wave, a, z = np.zeros(N), max(lo, 0), min(hi, N)
    if a < z:
        M = next_pow2(hi - lo)
        X = np.fft.fft(np.r_[coef * chirplet(term._replace(tc=term.tc - lo), hi - lo), np.zeros(M - (hi - lo))])
        f, k = term.omega / TWO_PI, np.arange(1, M // 2)
        half = X[k] if f - math.floor(f) < 0.5 else np.conj(X[M - k])
        wave[a:z] = np.fft.irfft(np.r_[X[0].real, half, X[M // 2].real if M > 1 else []], M)[a - lo:z - lo]
    return wave


def term_fit(r, term):
    """The coefficient of term in r and the waveform to subtract."""
    if np.iscomplexobj(r):
        g = chirplet(term, len(r))
        return np.sum(r * np.conj(g)), np.sum(r * np.conj(g)) * g
    h = min(9.0 / math.sqrt(term.alpha), len(r) - 1)
    lo, hi = math.trunc(term.tc - h), math.ceil(term.tc + h) + 1
    a, z = max(lo, 0), min(hi, len(r))
    g = chirplet(term._replace(tc=term.tc - lo), hi - lo)[a - lo:z - lo] if a < z else np.zeros(0)
    coef = np.sum(r[a:z] * np.conj(g)) if a < z else 0j
    return coef, real_wave(term, coef, lo, hi, len(r))


def adaptive_transform(signal, chirp_mode, extension, window_length, range_factor, max_attempts, max_terms):
    """Terms, coefficients, counted terms, residual percentage and residual."""
    r, N = np.array(signal), len(signal)
    range_factor = range_factor if range_factor > 0 else 4.0
    max_attempts = max_attempts if max_attempts > 0 else 10
    L = 2 ** math.floor(math.log2(N) + 0.5) if window_length < 8 else next_pow2(window_length)
    S0 = L // 8
    table = [(np.zeros(-(-N // S)), np.zeros(-(-N // S), dtype=int)) for _, S in levels(L, S0)]
    E0 = E_prev = float(np.sum(power(r)))
    terms, coefs, counted = [], [], 0
    for k in range(max_terms):
        start, end = 0, N
        h = range_factor / math.sqrt(0.5 * terms[-1].alpha) if k else math.inf
        if math.isfinite(h):
            start, end = math.floor(terms[-1].tc - h), math.ceil(math.trunc(terms[-1].tc) + h)
        scan_peaks(r, extension, L, S0, start, end, table)
        term = best_peak(table, L, S0)
        term = refine_term(r, chirp_mode, max_attempts, 0.1 / math.sqrt(term.alpha), 0.1 * math.sqrt(term.alpha), term)
        coef, wave = term_fit(r, term)
        r = r - wave
        terms.append(term)
        coefs.append(complex(coef))
        E = float(np.sum(power(r)))
        if not E < E_prev:
            break
        E_prev, counted = E, counted + 1
    return terms, coefs, counted, 100.0 * E_prev / E0, r
