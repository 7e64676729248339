"""Overlap studies: the two parabolic stops, MAMA and the window averages."""


def run(vl, bars, section, show):
    h, l, c = bars["high"], bars["low"], bars["close"]

    section("Overlap: parabolic stops")
    show("SAR(0.02, 0.2)", vl.py_sar(h, l, 0.02, 0.2))
    show("SAREXT (defaults)", vl.py_sarext(h, l, *[None] * 8))
    show("SAREXT (offset 0.5 on reversal)", vl.py_sarext(h, l, None, 0.5, None, None, None, None, None, None))

    section("Overlap: averages")
    mama, fama = vl.py_mama(c, None, None)
    show("MAMA / FAMA (fixed alpha 0.5/6)", [mama[-1], fama[-1]], last=2)
    show("TRIMA(20)", vl.py_trima(c, 20))
    show("Midpoint(14)", vl.py_midpoint(c, 14))
    show("Midprice(14)", vl.py_midprice(h, l, 14))
