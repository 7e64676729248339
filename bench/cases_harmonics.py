"""Swing points and harmonic patterns: (name, fn(bars), series in, series out).

The pattern list and the swing list are far shorter than the bars; they are counted as one output
so that the floor is one round trip plus the further inputs."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_swing_points(h, l)", lambda b: vl.py_swing_points(b["high"], b["low"]), 2, 1),
    ("py_swing_points(h, l, 2, 2)", lambda b: vl.py_swing_points(b["high"], b["low"], 2, 2), 2, 1),
    ("py_harmonics(h, l, c)", lambda b: vl.py_harmonics(b["high"], b["low"], b["close"]), 3, 4),
    ("py_harmonics(h, l, c, 2, 2, 0.0)", lambda b: vl.py_harmonics(b["high"], b["low"], b["close"], 2, 2, 0.0), 3, 4),
    ("py_harmonics_patterns(h, l)", lambda b: vl.py_harmonics_patterns(b["high"], b["low"]), 2, 1),
    ("py_harmonics_patterns(h, l, 2, 2)", lambda b: vl.py_harmonics_patterns(b["high"], b["low"], 2, 2), 2, 1),
]
