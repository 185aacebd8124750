"""The numpy layer's linear transforms against independent references: the
STFT frame by frame with numpy.fft; the Gabor transform against ltfatpy and
the dual window against scipy's pseudo-inverse; Gaussian window and
extension rules against closed forms and numpy.pad; round trips of dgt/dge and
stft/istft; the boundary rules. Tolerances relative to each reference's peak.
"""
import numpy as np
import pytest

import varnel

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(20240611)


def assert_close(got, want, rtol=1e-11):
    got, want = np.asarray(got), np.asarray(want)
    assert got.shape == want.shape
    np.testing.assert_allclose(got, want, rtol=0, atol=rtol * max(np.max(np.abs(want)), 1e-300))


def reference_stft(x, window, hop, bins, start=0):
    out = []
    for i in range((len(x) - len(window)) // hop + 1):  # each frame folded onto bins points at absolute time
        buffer, t = np.zeros(bins, dtype=complex), i * hop + np.arange(len(window))
        np.add.at(buffer, (t + start) % bins, window * x[t])
        out.append(np.fft.fft(buffer))
    return np.array(out)


# (bins, window length, hop, start): folded (window longer than bins),
# zero-filled (shorter) with hop above the window, hop above bins (four
# bins: one imaginary part to unpack), one bin, and the shortest signal the
# STFT takes, one sample longer than the window.
@pytest.mark.parametrize("bins,length,hop,start", [(32, 80, 10, 0), (128, 50, 33, 7), (4, 4, 19, 2 ** 40 + 3),
                                                   (1, 4, 3, 1000), (16, 699, 5, 3)])
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_stft_and_spectrogram_match_numpy_frames(bins, length, hop, start, kind):
    x = rng.standard_normal(700) + (1j * rng.standard_normal(700) if kind == "complex" else 0)
    window = rng.uniform(0.1, 1.0, length)
    got = varnel.stft(x, window=window, hop=hop, bins=bins, fs=100.0, start=start, boundary=None)
    want = reference_stft(x, window, hop, bins, start % bins)
    assert got.dtype == np.complex128
    assert_close(got, want)
    assert_close(got.times, (np.arange(len(want)) * hop + start + length / 2) / 100.0)
    assert_close(got.freqs, np.fft.fftfreq(bins, 1 / 100.0) * np.where(np.arange(bins) == bins // 2, -1, 1))
    power = varnel.spectrogram(x, window=window, hop=hop, bins=bins, fs=100.0)
    kept = max(bins // 2, 1) if kind == "real" else bins
    assert_close(power, np.abs(reference_stft(x, window, hop, bins)[:, :kept]) ** 2 / bins)
    if kind == "real":
        assert_close(power.freqs, np.arange(kept) * 100.0 / bins)
        half = varnel.stft(x, window=window, hop=hop, bins=bins, start=start, onesided=True, boundary=None)
        assert_close(half, want[:, :bins // 2 + 1])


# Folding (L > N), a window as long as the signal, a time step that is not a
# power of two, and windows long enough for the factorised route: 64 bins'
# worth, and the whole signal.
@pytest.mark.parametrize("n,length,hop,bins", [(64, 16, 4, 8), (32, 32, 4, 16), (240, 24, 3, 8), (2000, 1024, 8, 16),
                                               (4096, 4096, 32, 128)])
def test_dgt_matches_ltfat(n, length, hop, bins):
    ltfatpy = pytest.importorskip("ltfatpy")
    x, g = rng.standard_normal(n), rng.uniform(-1.0, 1.0, length)
    ltfat_window = np.roll(g, -(length // 2))  # LTFAT centres the window on index 0
    phase = np.exp(-2j * np.pi * np.arange(bins) * (length // 2) / bins)  # LTFAT refers phases to time 0
    got = varnel.dgt(x, window=g, hop=hop, bins=bins, dual=False, fs=2.0)
    assert got.shape == (n // hop, bins // 2 + 1)
    assert_close(got, ltfatpy.dgtreal(x, ltfat_window, hop, bins)[0].T * phase[:bins // 2 + 1])
    assert_close(got.times, np.arange(n // hop) * hop / 2.0)
    z = x + 1j * rng.standard_normal(n)
    got = varnel.dgt(z, window=g, hop=hop, bins=bins, dual=False)
    assert_close(got, ltfatpy.dgt(z, ltfat_window.astype(complex), hop, bins)[0].T * phase)


def reference_dual(g, hop, bins, periodic):
    """Per residue j0 the least-norm solution: column 0 of pinv(M) / hop, M[a][c] the window (zero-extended
    to 2L - bins samples when aperiodic) at (j0 + a*bins + c*hop) mod Lx; singular values to 1e-10 dropped."""
    pinv = pytest.importorskip("scipy.linalg").pinv
    L = len(g)
    Lx, rows = (L, L // bins) if periodic else (2 * L - bins, 2 * (L // bins) - 1)
    extended, a, c, dual = np.pad(g, (0, Lx - L)), np.arange(rows)[:, None], np.arange(L // hop)[None, :], np.empty(L)
    for j0 in range(hop):
        dual[j0::hop] = pinv(extended[(j0 + a * bins + c * hop) % Lx], atol=1e-10, rtol=0)[:, 0] / hop
    return dual


# Over- and underdetermined residue systems; a window of period L/2 makes
# the periodic ones rank-deficient; a window with a vanishing residue.
@pytest.mark.parametrize("L,hop,bins", [(16, 4, 8), (16, 4, 4), (48, 8, 16), (96, 12, 32), (8, 1, 1), (40, 5, 8)])
@pytest.mark.parametrize("window", [lambda L: rng.uniform(-1.0, 1.0, L), lambda L: np.tile(rng.uniform(
    0.2, 1.0, L // 2), 2), lambda L: rng.uniform(0.5, 1.0, L) * (np.arange(L) % 4 != 3)],
    ids=["random", "half-period", "vanishing"])
@pytest.mark.parametrize("periodic", [True, False])
def test_dual_window_is_the_least_norm_solution(L, hop, bins, window, periodic):
    g = window(L)
    want = reference_dual(g, hop, bins, periodic)
    assert_close(varnel.dual_window(g, hop, bins, periodic=periodic), want, rtol=1e-10)


@pytest.mark.parametrize("scale", [1e-12, 1e-6, 1e12])
def test_the_dual_window_does_not_depend_on_the_window_scale(scale):
    g = varnel.gaussian(64)
    assert_close(varnel.dual_window(scale * g, 16, 32) * scale, varnel.dual_window(g, 16, 32), rtol=1e-14)


# The (aperiodic) dual rebuilds any signal whose padded length spans half a
# window: 40 samples pad to 48, against 64.
# A window of 1024 samples (of a width the lattice resolves well) over 2048
# takes the factorised route both ways. 40003 samples make enough frames
# for a real expansion over the whole period to go block by block; so do
# 70001 with one frame per bins samples (a window of bins samples).
@pytest.mark.parametrize("n,kind,window,hop", [
    (403, "real", "gaussian", 16), (40, "real", "gaussian", 16), (64, "complex", "hann", 16),
    (400, "complex", "gaussian", 16), (2048, "real", "long", 16), (2048, "complex", "long", 16),
    (40003, "real", "gaussian", 16), (70001, "real", "short", 32)])
def test_dgt_dge_round_trip(n, kind, window, hop):
    g = {"gaussian": varnel.gaussian(64), "hann": np.hanning(64), "short": varnel.gaussian(32),
         "long": varnel.gaussian(1024, variance=16 * 32 / np.pi)}[window]
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    c = varnel.dgt(x, window=g, hop=hop, bins=32)
    assert c.shape == (-(-n // hop), 17 if kind == "real" else 32)
    y = varnel.dge(c, window=g, hop=hop, bins=32, length=n)
    assert y.dtype == (np.float64 if kind == "real" else np.complex128)
    assert_close(y, x, rtol=1e-10)
    # The whole period: the signal, then the zeros it was padded with.
    assert_close(varnel.dge(c, window=g, hop=hop, bins=32), np.pad(x, (0, len(c) * hop - n)), rtol=1e-10)


def gabor_matrix(h, hop, bins, n):
    """Rows (frame, bin) of the periodic Gabor analysis of n samples padded
    to whole hops, by the definition's sum (phases reduced exactly)."""
    L, frames = len(h), -(-n // hop)
    A = np.zeros((frames, bins, frames * hop), dtype=complex)
    for k in range(frames):
        for j in range(L):
            A[k, :, (k * hop - L // 2 + j) % (frames * hop)] += h[j] * np.exp(
                -2j * np.pi * (np.arange(bins) * (k * hop + j) % bins) / bins)
    return A.reshape(frames * bins, -1)[:, :n]


# Images whose sides are no multiple of the hops; windows not centred, a
# lattice per dimension, one longer than the padded rows; and a window that
# the library factorises (L = 64 over 8 bins along 72 columns).
@pytest.mark.parametrize("shape,first,second", [((30, 44), (16, 4, 8), (32, 8, 16)),
                                                 ((9, 125), (32, 4, 8), (64, 4, 8))])
def test_dgt2_against_the_definition_and_dge2_inverts_it(shape, first, second):
    x = rng.standard_normal(shape)
    (h1, hop1, bins1), (h2, hop2, bins2) = [(rng.uniform(0.2, 1.0, L), hop, bins) for L, hop, bins in (first, second)]
    lattice = dict(window=h1, hop=hop1, bins=bins1, window2=h2, hop2=hop2, bins2=bins2)
    c = varnel.dgt2(x, dual=False, **lattice)
    want = gabor_matrix(h1, hop1, bins1, shape[0]) @ x @ gabor_matrix(h2, hop2, bins2, shape[1]).T
    assert_close(c, want.reshape(c.shape))
    g = dict(lattice, window=varnel.gaussian(first[0], variance=first[0]), window2=varnel.gaussian(second[0]))
    c = varnel.dgt2(x, **g)
    assert_close(varnel.dge2(c, shape=shape, **g), x, rtol=1e-10)
    assert_close(varnel.dge2(c, **g), np.pad(x, [(0, -n % hop) for n, hop in zip(shape, (hop1, hop2))]), rtol=1e-10)


@pytest.mark.parametrize("bins", [1, 2])
def test_dge_with_bins_where_shapes_coincide(bins):
    # With one or two bins a real signal's coefficients are (frames, bins)
    # too; real= says which expansion is meant.
    g, x = np.ones(bins) + 0.5 * np.arange(bins), rng.standard_normal(12)
    assert_close(varnel.dge(varnel.dgt(x, window=g, hop=1, bins=bins), window=g, hop=1, bins=bins, length=12), x,
                 rtol=1e-10)
    z = x + 1j * rng.standard_normal(12)
    c = varnel.dgt(z, window=g, hop=1, bins=bins)
    assert_close(varnel.dge(c, window=g, hop=1, bins=bins, length=12, real=False), z, rtol=1e-10)


@pytest.mark.parametrize("length,variance,centre", [(64, None, None), (33, 20.0, 10.5), (1, 1.0, 0.0),
                                                    (64, 100.0, -3.0)])
def test_gaussian_closed_form(length, variance, centre):
    v, c = (length / 8) ** 2 if variance is None else variance, length / 2 if centre is None else centre
    want = (np.pi * v) ** -0.25 * np.exp(-(c - np.arange(length)) ** 2 / (2 * v))
    assert_close(varnel.gaussian(length, variance=variance, centre=centre), want, rtol=1e-14)


def polynomial_pad(x, m, degree):  # the polynomial through the end samples, continued
    ends = np.arange(degree + 1)
    left = np.polyval(np.polyfit(ends, x[:degree + 1], degree), np.arange(-m, 0))
    right = np.polyval(np.polyfit(ends, x[-degree - 1:], degree), degree + 1 + np.arange(m))
    return np.concatenate([left, x, right])


def reference_extension(x, m, mode):
    """The rules' closed forms. The mirror runs into zeros where the signal is
    shorter than m; the tapered one weights sample i from the end by
    sin(pi min(j, 2m+1-j) / (2m+1))**2, j = m-1+i."""
    if mode in ("linear", "quadratic"):
        degree = 1 if mode == "linear" else 2
        return polynomial_pad(x.real, m, degree) + 1j * polynomial_pad(x.imag, m, degree)
    if mode in ("zero", "periodic"):
        return np.pad(x, m, mode="constant" if mode == "zero" else "wrap")
    j = m - 1 + np.arange(m)
    weight = np.sin(np.pi * np.minimum(j, 2 * m + 1 - j) / (2 * m + 1)) ** 2 if mode == "tapered-symmetric" else 1
    head, tail = (np.pad(part, (0, max(m - len(x), 0)))[:m] * weight for part in (x, x[::-1]))
    return np.concatenate([head[::-1], x, tail])


# Sides shorter than the signal, far longer (mirrors run out, the period
# repeats, polynomials extrapolate far), one sample, and an empty signal
# where the rule takes one.
@pytest.mark.parametrize("mode,n,m", [(mode, n, m) for mode, needs in [
    ("zero", 0), ("symmetric", 0), ("tapered-symmetric", 0), ("periodic", 1), ("linear", 2), ("quadratic", 3)]
    for n, m in [(12, 4), (3, 40), (1, 3), (0, 2)] if n >= needs])
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_extension_rules(mode, n, m, kind):
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    want = reference_extension(x, m, mode)
    assert_close(varnel.extend(x, m, mode), want if kind == "complex" else want.real, rtol=1e-10)


@pytest.mark.parametrize("function,kwargs", [
    (varnel.stft, {}), (varnel.spectrogram, {}), (varnel.dgt, {}), (varnel.stft, {"onesided": True})])
@pytest.mark.parametrize("workers", [None, 1, 2])
def test_channels_are_processed_one_by_one(function, kwargs, workers):
    x = rng.standard_normal((3, 900))
    grid = dict(window=varnel.gaussian(64), hop=16, bins=64, fs=8000.0)
    many = function(x, workers=workers, **grid, **kwargs)
    assert many.shape[0] == 3
    for channel in range(3):
        one = function(x[channel], **grid, **kwargs)
        np.testing.assert_array_equal(many[channel], one)
        assert_close(many[channel].times, one.times)
    c = varnel.dgt(x, **grid)
    assert_close(varnel.dge(c, window=grid["window"], hop=16, bins=64, length=900, workers=workers), x, rtol=1e-10)


def test_result_axes_follow_numpy_operations():
    S = varnel.stft(rng.standard_normal(3000), window=np.hanning(256), hop=64, bins=256, fs=1000.0, onesided=True,
                    boundary=None)
    level = 20 * np.log10(np.abs(S) + 1e-300)
    assert isinstance(level, varnel.TFArray) and level.times is S.times and level.freqs is S.freqs
    assert_close(S[2:10:2, 5:].times, S.times[2:10:2])
    assert_close(S[2:10:2, 5:].freqs, S.freqs[5:])
    assert_close(S[..., ::-1].freqs, S.freqs[::-1])
    for plain in (S[3], S[:, 7], np.sum(np.abs(S), axis=0), S[[1, 2]], np.asarray(S)):
        assert type(plain) is np.ndarray
    assert np.isscalar(np.max(np.abs(S)))


N_ODD = 10007  # a prime: no hop divides it


@pytest.mark.parametrize("grid", [
    dict(),                                                    # the defaults: Hann 256, hop 64, 256 bins
    dict(window="hamming", nperseg=200, hop=70),               # hop not dividing the window
    dict(window=("kaiser", 8), nperseg=300, hop=50, bins=128),  # folded: window longer than bins
    dict(window="blackman", nperseg=512, hop=64, bins=128),    # folded four times
    # Folded eight times, ill-conditioned (the normal equations alone are
    # 1e-9 off) and scaled far from 1: the refinement and the scale of the
    # test for undetermined samples matter here.
    dict(window=1e-6 * np.blackman(1000), hop=8, bins=128),
    dict(window="boxcar", nperseg=64, hop=32, bins=64),        # the longest hop that covers the ends
    dict(nperseg=128, hop=32, start=1000003, scaling="psd"),   # phase and scaling undone
], ids=["defaults", "hop-70", "folded", "folded-4", "folded-8-scaled", "rect-half", "psd-start"])
@pytest.mark.parametrize("boundary", ["zero", "symmetric", "periodic"])
@pytest.mark.parametrize("kind", ["real", "complex", "one-sided"])
def test_istft_inverts_stft(grid, boundary, kind):
    if isinstance(grid.get("window"), tuple):
        pytest.importorskip("scipy.signal")
    x = rng.standard_normal((2, N_ODD)) if kind == "one-sided" else rng.standard_normal(N_ODD)
    x = x + 1j * rng.standard_normal(N_ODD) if kind == "complex" else x
    rule = {} if boundary == "zero" else dict(boundary=boundary)  # zero padding is the default
    S = varnel.stft(x, 8000.0, onesided=kind == "one-sided", **rule, **grid)
    y = varnel.istft(S, **rule, **grid)  # fs and the length from S
    assert y.dtype == x.dtype  # a real signal's full spectra come back real
    assert_close(y, x, rtol=1e-12)


@pytest.mark.parametrize("grid", [dict(nperseg=512, hop=64, bins=128), dict(nperseg=1024, hop=32, bins=128),
                                  dict(window="bartlett", nperseg=256, hop=32, bins=32)])
@pytest.mark.filterwarnings("error")
def test_istft_solves_only_for_the_samples_inside_the_zero_padding(grid):
    # Folded onto fewer bins, these windows' frames alone leave the ends
    # undetermined (the last overflowed the solver); the padding's zeros fix them.
    x = rng.standard_normal(N_ODD)
    S = varnel.stft(x, **grid)
    assert_close(varnel.istft(S, **grid), x, rtol=1e-10)
    assert_close(varnel.istft(varnel.stft(x[:1], **grid), **grid), x[:1], rtol=1e-10)  # all but one sample known
    S[3, 5] = np.nan  # not taken for an undetermined sample: let through, it stays a NaN
    assert np.isnan(varnel.istft(S, check_finite=False, **grid)).any()


def test_istft_without_boundary_returns_what_the_frames_cover():
    x = rng.standard_normal(N_ODD)
    S = varnel.stft(x, boundary=None)
    y = varnel.istft(S, boundary=None)
    span = (len(S) - 1) * 64 + 256
    assert len(y) == N_ODD > span
    # Sample 0 lies under the periodic Hann's zero only; samples covered by
    # a whole set of frames are exact; the rest of x is not in the frames.
    assert y[0] == 0 and np.all(y[span:] == 0)
    assert_close(y[192:span - 192], x[192:span - 192], rtol=1e-12)
    assert_close(y[1:span], x[1:span], rtol=1e-9)
    assert np.array_equal(varnel.istft(np.asarray(S), boundary=None), y[:span])


def test_istft_checks_the_frame_times_and_reads_the_layout():
    x = rng.standard_normal(9000)  # more frames than istft compares at a time
    S = varnel.stft(x, 100.0)  # spectra not exactly conjugate-symmetric come back complex, unless real=True
    for forgotten in (dict(boundary=None), dict(hop=32)):
        with pytest.raises(ValueError, match="give istft the window, hop, start, fs and boundary"):
            varnel.istft(S, **forgotten)
    assert varnel.istft(S, boundary="zero", real=False).dtype == np.complex128  # as asked, though symmetric
    nudged = np.asarray(S) * (1 + 1e-9j)
    assert varnel.istft(nudged, boundary="zero").dtype == np.complex128
    constant = np.array(S)
    constant[-1, 0] += 1e-9j  # bin 0 alone, which has no mirror bin, of the last frame alone
    assert varnel.istft(constant, boundary="zero").dtype == np.complex128
    assert_close(varnel.istft(nudged, boundary="zero", length=len(x), real=True), x, rtol=1e-8)


@pytest.mark.parametrize("function,kwargs,centre", [
    (varnel.stft, {}, 128), (varnel.stft, dict(onesided=True, scaling="psd"), 128),
    (varnel.spectrogram, {}, 128), (varnel.spectrogram, dict(scaling="density"), 128),
    (varnel.reassigned_spectrogram, {}, 127.5),
])
@pytest.mark.parametrize("boundary", ["zero", "symmetric", "tapered-symmetric", "quadratic"])
def test_boundary_frames_extend_todays(function, kwargs, centre, boundary):
    x = rng.standard_normal((2, 3001))
    plain = function(x, 1000.0, boundary=None, **kwargs)
    treated = function(x, 1000.0, boundary=boundary, **kwargs)
    # Frames centred on samples c0, c0 + hop, ... <= n - 1 from the first
    # centre c0 >= 0 of the lattice; today's frames among them unchanged.
    c0 = centre % 64
    assert treated.shape[-2] == int((3000 - c0) // 64) + 1
    np.testing.assert_allclose(treated.times, (c0 + 64 * np.arange(treated.shape[-2])) / 1000.0, rtol=1e-15)
    skip = int(round((plain.times[0] - treated.times[0]) * 1000.0)) // 64
    if function is not varnel.reassigned_spectrogram:  # its cells move between frames
        np.testing.assert_array_equal(np.asarray(treated)[:, skip:skip + plain.shape[-2]], plain)
    if function is not varnel.stft:  # the others extend nothing unless asked
        np.testing.assert_array_equal(function(x, 1000.0, **kwargs), plain)


def flatness(tf, f=1000.0):
    column = np.abs(np.asarray(tf)[:, np.argmin(np.abs(tf.freqs - f))])
    return column.min() / column.max()


@pytest.mark.parametrize("compute,edges", [
    (lambda x, b: varnel.dgt(x, 8000.0, boundary=b), True),
    (lambda x, b: varnel.dgt(x, 8000.0, window="hann", nperseg=128, hop=16, boundary=b), True),
    (lambda x, b: varnel.gabor_spectrogram(x, hop=16, bins=128, fs=8000.0, boundary=b), True),
    # Full frames only: flat without a boundary too, but short of the ends.
    (lambda x, b: varnel.spectrogram(x, 8000.0, boundary=b), False),
    (lambda x, b: varnel.reassigned_spectrogram(x, 8000.0, boundary=b), False),
], ids=["dgt", "dgt-hann", "gabor-spectrogram", "spectrogram", "reassigned"])
def test_boundary_keeps_a_tone_flat_to_the_ends(compute, edges):
    # 501 periods of 1000 Hz at 8 kHz, which the periodic rule continues,
    # in a length that is no multiple of the hops, which the DGT pads.
    x = np.cos(2 * np.pi * np.arange(4008) / 8 + 0.3)
    periodic = compute(x, "periodic")
    assert flatness(periodic) > 1 - 1e-6
    assert periodic.times[0] < 64 / 8000.0 and periodic.times[-1] > (4008 - 64) / 8000.0
    assert flatness(compute(x, "symmetric")) > 0.98
    assert (flatness(compute(x, None)) < 0.9) == edges  # the edge lines the rules remove


@pytest.mark.parametrize("kind", ["real", "complex"])
def test_dgt_boundary_keeps_frames_times_and_interior(kind):
    x = rng.standard_normal(1003) + (1j * rng.standard_normal(1003) if kind == "complex" else 0)
    # The 64 samples put in front are half of the 128 bins: the phases turn.
    plain, treated = (varnel.dgt(x, 4.0, window=varnel.gaussian(128), hop=32, bins=128, boundary=b)
                      for b in (None, "symmetric"))
    assert treated.shape == plain.shape and len(plain) == -(-1003 // 32)
    np.testing.assert_array_equal(treated.times, plain.times)
    assert_close(treated[3:-3], plain[3:-3], rtol=1e-12)  # frames 2 windows from the ends


# A long real signal's STFT is made a block of frames per call and its Gabor
# transform unpacked within its own result: frame counts of two blocks and
# one frame more, and of a partial last block.
@pytest.mark.parametrize("blocks", [2, 1.25])
def test_long_real_stft_matches_numpy_frames(blocks):
    window, hop, bins = rng.uniform(0.1, 1.0, 300), 3, 256
    frames = int(blocks * (varnel.linear._BLOCK_DOUBLES // bins)) + 1
    x = rng.standard_normal((frames - 1) * hop + len(window))
    want = reference_stft(x, window, hop, bins, start=5)
    for onesided in (False, True):
        got = varnel.stft(x, window=window, hop=hop, bins=bins, start=5, onesided=onesided, boundary=None)
        assert_close(got, want[:, :bins // 2 + 1] if onesided else want)


# Frames of two blocks and a few more; and with hop 1, frames away from
# the ends of one block and one frame, whose last call (given a sample past
# its last window) makes one frame more still.
@pytest.mark.parametrize("hop,extra", [(2, None), (1, 17)])
def test_long_real_dgt_holds_the_library_rows_as_complex_bins(hop, extra):
    bins, raw, block = 8, varnel.raw, varnel.linear._BLOCK_DOUBLES // 8
    x = rng.standard_normal(hop * (2 * block + 3) if extra is None else block + extra)
    window = varnel.gaussian(16)
    got = varnel.dgt(x, window=window, hop=hop, bins=bins, dual=False)
    hc = np.empty((len(got), bins))
    assert raw.ReDGT(raw.pointer(x), len(x), raw.window_spec(window, hop, bins), raw.pointer(hc)) == 0
    edge = np.zeros((len(hc), 1))
    np.testing.assert_array_equal(got, hc[:, :bins // 2 + 1] + 1j * np.hstack([edge, hc[:, :bins // 2:-1], edge]))
