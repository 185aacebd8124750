"""The built-in test signal of the demo, with its ground truth.

Three components whose instantaneous frequencies are known in closed form,
so that a picture (or a test) can be held against them:

- a linear chirp sweeping 800 Hz -> 3600 Hz over the whole signal;
- a tone burst at 2000 Hz under a Gaussian envelope centred at 0.25 s
  (standard deviation 25 ms);
- a stationary tone at 300 Hz at half the amplitude.

The frequencies scale with the sample rate (they are given for 8 kHz), so
the picture looks the same at any rate.
"""
import dataclasses

import numpy as np

REFERENCE_RATE = 8000.0


@dataclasses.dataclass(frozen=True)
class Component:
    """One component: ``frequency(t)`` in Hz for t in seconds, NaN where
    the component is absent (outside ``start`` .. ``stop``)."""
    name: str
    start: float
    stop: float
    f0: float
    f1: float

    def frequency(self, t):
        t = np.asarray(t, dtype=np.float64)
        span = self.stop - self.start
        f = self.f0 + (self.f1 - self.f0) * (t - self.start) / span
        return np.where((t >= self.start) & (t <= self.stop), f, np.nan)


@dataclasses.dataclass(frozen=True)
class DemoSignal:
    x: np.ndarray
    fs: float
    components: tuple

    @property
    def duration(self):
        return len(self.x) / self.fs


def demo_signal(fs=8000.0, duration=1.0):
    """The demo signal sampled at ``fs`` Hz for ``duration`` seconds."""
    fs = float(fs)
    samples = fs * duration
    # Made in cycles per sample, which do not depend on the rate: times and
    # frequencies in s and Hz would overflow at extreme rates.
    u0, u1, carrier, hum = (f / REFERENCE_RATE for f in (800.0, 3600.0, 2000.0, 300.0))
    i = np.arange(int(round(samples)), dtype=np.float64)
    chirp = np.cos(2 * np.pi * (u0 * i + 0.5 * (u1 - u0) / samples * i ** 2))
    middle, width = 0.25 * samples, 0.025 * samples
    burst = np.exp(-0.5 * ((i - middle) / width) ** 2) * np.cos(2 * np.pi * carrier * (i - middle))
    tone = 0.5 * np.sin(2 * np.pi * hum * i)
    centre, spread = 0.25 * duration, 0.025 * duration
    components = (
        Component("linear chirp", 0.0, duration, u0 * fs, u1 * fs),
        # The burst's support is drawn as +-3 standard deviations.
        Component("tone burst", centre - 3 * spread, centre + 3 * spread, carrier * fs, carrier * fs),
        Component("stationary tone", 0.0, duration, hum * fs, hum * fs),
    )
    return DemoSignal(chirp + burst + tone, fs, components)
