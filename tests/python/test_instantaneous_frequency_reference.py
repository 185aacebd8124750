"""InstantaneousFrequency through ctypes against numpy: centroids and
energies by numpy sums; invalid centroids (not in (0, F-1]) repaired with
numpy.interp over the valid ones, anchored at 0 one slice before the start
and one after the end. Tolerances are relative to the scale of each result.
"""
import numpy as np
import pytest

from varnel import raw

pytestmark = pytest.mark.usefixtures("library")


def ptr(a):
    return raw.pointer(a)


rng = np.random.default_rng(77)


def repaired(track, max_value):
    valid = (track > 0) & (track <= max_value)          # NaN compares false
    index = np.arange(len(track))
    xs = np.concatenate(([-1], index[valid], [len(track)]))
    ys = np.concatenate(([0.0], track[valid], [0.0]))
    return np.interp(index, xs, ys)


@pytest.mark.parametrize("t,f", [(40, 16), (7, 3), (1, 5), (25, 1)])
def test_instantaneous_frequency_matches_numpy(t, f):
    s = rng.standard_normal((t, f))
    s[rng.random(t) < 0.3] = 0.0                        # zero slices: 0/0
    s[:, 0] += 0.5 * (rng.random(t) < 0.2)              # some mass at bin 0
    freq = np.full(t, -7.25)
    energy = np.full(t, -7.25)
    assert raw.InstantaneousFrequency(ptr(np.ascontiguousarray(s)), t, f, 0, 0, ptr(freq), ptr(energy)) == 0
    want_energy = s.sum(axis=1)
    with np.errstate(divide="ignore", invalid="ignore"):
        centroid = (s * np.arange(f)).sum(axis=1) / want_energy
    np.testing.assert_allclose(energy, want_energy, rtol=0, atol=1e-13 * max(1.0, np.max(np.abs(want_energy))))
    np.testing.assert_allclose(freq, repaired(centroid, f - 1), rtol=0, atol=1e-9 * max(1, f))
