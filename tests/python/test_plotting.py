"""Pictures that would mislead are not drawn, and many channels stay
readable: a map holding NaN, infinities or no positive level is refused
before any file exists; up to sixteen channels make a grid of bounded size
on one colour scale, every axis labelled, a silent channel said to be so.
"""
import numpy as np
import pytest

from varnel import plotting
from varnel.result import TFArray

FS, FRAMES, BINS = 8000.0, 40, 32   # frames 10 ms apart, bins 125 Hz apart


def tones(channels):
    """channels x frames x bins: a steady tone in a different bin of every
    channel over a floor 50 to 60 dB below it."""
    values = np.random.default_rng(1).uniform(1e-6, 1e-5, (channels, FRAMES, BINS))
    for c in range(channels):
        values[c, :, 1 + c % (BINS - 1)] = 1.0
    return TFArray(values, np.arange(FRAMES) * 0.01, np.arange(BINS) * FS / 2 / BINS, FS)


@pytest.mark.parametrize("case, phrase", [
    ("nan", "Map, channel 2: the map holds 1 non-finite value (first at t = 0.07 s, f = 625 Hz)"),
    ("inf", "Map, channel 2: the map holds 3 non-finite values (first at t = 0.07 s, f = 625 Hz)"),
    ("zero", "Map: the map is zero everywhere, so it has no level in dB to draw"),
    ("negative", "Map: the map has no positive value"),
    ("17 channels", "Map: 17 channels are more than one picture draws (16 at most)"),
])
def test_unfit_maps_are_refused_before_drawing(tmp_path, case, phrase):
    tf = tones(17 if case == "17 channels" else 3)
    values = tf.view(np.ndarray)
    if case == "nan":
        values[1, 7, 5] = np.nan
    elif case == "inf":
        values[1, [9, 7, 7], [0, 6, 5]] = [-np.inf, np.inf, np.inf]
    elif case == "zero":
        tf = TFArray(np.zeros(tf.shape, complex), tf.times, tf.freqs, FS)
    elif case == "negative":
        values *= -1
    path = tmp_path / "map.png"
    with pytest.raises(ValueError) as error:
        plotting.save_representation(path, tf, "Map")
    assert str(error.value).startswith(phrase) and str(error.value).endswith("; nothing was drawn")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("channels", [2, 5, 13])
def test_channels_make_a_bounded_grid_on_one_scale(tmp_path, monkeypatch, channels):
    figures = []
    save = plotting._save
    monkeypatch.setattr(plotting, "_save", lambda fig, path: (figures.append(fig), save(fig, path)))
    tf = tones(channels)
    tf.view(np.ndarray)[-1] = 0.0
    names = ["mic %d" % c for c in range(channels)]
    plotting.save_representation(tmp_path / "g.png", tf, "Grid", channel_names=names, caption="what it shows")
    height, width = pytest.importorskip("matplotlib.image").imread(str(tmp_path / "g.png")).shape[:2]
    assert width <= 2400 and height <= 1800 and 0.9 <= width / height <= 2.0
    fig, = figures
    panels = [ax for ax in fig.axes if ax.get_visible() and ax.images]
    assert [ax.get_title() for ax in panels] == names
    assert len({ax.images[0].get_clim() for ax in panels}) == 1
    assert all(np.isfinite(ax.images[0].get_array()).all() for ax in panels)
    assert any(text.get_text().startswith("all below") for text in panels[-1].texts)
    # Every column's time axis and every row's frequency axis named once
    # at least, in s and Hz, and the one colour bar in dB.
    position = [ax.get_position() for ax in panels]
    for label, edge in (("Time (s)", "x0"), ("Frequency (Hz)", "y0")):
        labelled = {round(getattr(p, edge), 3) for ax, p in zip(panels, position)
                    if label in (ax.get_xlabel(), ax.get_ylabel())}
        assert labelled == {round(getattr(p, edge), 3) for p in position}
    assert [ax.get_ylabel() for ax in fig.axes].count("Level (dB)") == 1
    assert "what it shows" in [text.get_text() for text in fig.texts]
