"""Maps holding NaN, infinities or no positive level are refused before
any file exists; many channels make a grid of bounded size on one colour
scale with every axis labelled."""
import numpy as np
import pytest

from varnel import plotting
from varnel.result import TFArray


def tones(channels, frames=40, bins=32):
    """A tone in a different bin of every channel over a floor 50-60 dB
    below it; frames 10 ms apart, bins 125 Hz apart."""
    values = np.random.default_rng(1).uniform(1e-6, 1e-5, (channels, frames, bins))
    values[np.arange(channels), :, 1 + np.arange(channels) % (bins - 1)] = 1.0
    return TFArray(values, np.arange(frames) * 0.01, np.arange(bins) * 125.0, 8000.0)


@pytest.mark.parametrize("channels, cells, value, phrase", [
    (3, (1, 7, 5), np.nan, "Map, channel 2: the map holds 1 non-finite value (first at t = 0.07 s, f = 625 Hz)"),
    (3, ([1] * 3, [9, 7, 7], [0, 6, 5]), np.inf, "channel 2: the map holds 3 non-finite values (first at t = 0.07 s"),
    (3, np.s_[...], -1.0, "Map: the map has no positive value"),
    (17, np.s_[:0], 0.0, "Map: 17 channels are more than one picture draws (16 at most)"),
], ids=["NaN", "infinities", "negative", "17 channels"])  # zero: test_cli
def test_unfit_maps_are_refused_before_drawing(tmp_path, channels, cells, value, phrase):
    tf = tones(channels)
    tf.view(np.ndarray)[cells] = value
    with pytest.raises(ValueError) as error:
        plotting.save_representation(tmp_path / "map.png", tf, "Map")
    assert phrase in str(error.value) and str(error.value).endswith("; nothing was drawn")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("channels", [2, 5, 13])
def test_channels_make_a_bounded_grid_on_one_scale(tmp_path, monkeypatch, channels):
    figures, save, names = [], plotting._save, ["mic %d" % c for c in range(channels)]
    monkeypatch.setattr(plotting, "_save", lambda fig, path: (figures.append(fig), save(fig, path)))
    tf = tones(channels)
    tf.view(np.ndarray)[-1] = 0.0   # a silent channel is drawn at the floor
    plotting.save_representation(tmp_path / "g.png", tf, "Grid", channel_names=names)
    height, width = pytest.importorskip("matplotlib.image").imread(str(tmp_path / "g.png")).shape[:2]
    assert width <= 2400 and height <= 1800 and 0.9 <= width / height <= 2.0
    panels = [ax for ax in figures[0].axes if ax.get_visible() and ax.images]
    assert [ax.get_title() for ax in panels] == names and "Grid" in [t.get_text() for t in figures[0].texts]
    assert len({ax.images[0].get_clim() for ax in panels}) == 1
    assert all(np.isfinite(ax.images[0].get_array()).all() for ax in panels)
    # Every column's time axis and every row's frequency axis named; one colour bar.
    for label, edge in (("Time (s)", "x0"), ("Frequency (Hz)", "y0")):
        where = {ax: round(getattr(ax.get_position(), edge), 3) for ax in panels}
        assert {where[ax] for ax in panels if label in (ax.get_xlabel(), ax.get_ylabel())} == set(where.values())
    assert [ax.get_ylabel() for ax in figures[0].axes].count("Level (dB)") == 1
