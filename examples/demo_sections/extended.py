"""The extended set: squeeze and envelopes, averages, statistics, oscillators."""


def run(vl, bars, section, show):
    o, h, l, c, v = (bars[k] for k in ("open", "high", "low", "close", "volume"))

    section("Extended: squeeze and envelopes")
    on, off, mom = vl.py_squeeze(h, l, c, None, None, None, None, None)
    show("Squeeze on (1 = BB inside KC)", on)
    show("Squeeze momentum", mom)
    show("Aberration(20, 20)", vl.py_aberration(h, l, c, 20, 20))
    trend, explosion = vl.py_wae(c, None, None, None, None, None)
    show("WAE trend / explosion", [trend[-1], explosion[-1]], last=2)
    first, second = vl.py_ssl_channel(h, l, c, None)
    show("SSL channel first / second", [first[-1], second[-1]], last=2)

    section("Extended: moving averages (close)")
    show("ALMA(9, 0.85, 6)", vl.py_alma(c, None, None, None))
    show("PWMA(5) / SINWMA(14) / SWMA(7)",
         [vl.py_pwma(c, None)[-1], vl.py_sinwma(c, None)[-1], vl.py_swma(c, None)[-1]])
    show("VWMA(20)", vl.py_vwma(c, v, None))
    show("VIDYA(14)", vl.py_vidya(c, None))
    jaw, teeth, lips = vl.py_alligator(h, l, None, None, None)
    show("Alligator jaw / teeth / lips", [jaw[-1], teeth[-1], lips[-1]])

    section("Extended: statistics")
    show("Slope(14)", vl.py_slope(c, None))
    show("Bias(20) %", vl.py_bias(c, None))
    show("PSL(12) %", vl.py_psl(c, None))
    show("Efficiency ratio(10)", vl.py_er(c, None))
    show("CFO(14) / CTI(12)", [vl.py_cfo(c, None)[-1], vl.py_cti(c, None)[-1]], last=2)
    show("Balance of power", vl.py_bop(o, h, l, c))
    show("Percent rank(14)", vl.py_percent_rank(c, None))
    show("Entropy(10, 10 bins) bits", vl.py_entropy(c, None, None))

    section("Extended: oscillators")
    qqe, trailing, direction = vl.py_qqe(c, None, None, None)
    show("QQE line / trailing / direction", [qqe[-1], trailing[-1], direction[-1]])
    kst, signal = vl.py_kst(c, None, None, None, None, None)
    show("KST / signal", [kst[-1], signal[-1]], last=2)
    show("STC(23, 50, 10)", vl.py_stc(c, None, None, None))
    show("SMI(13, 25, 2)", vl.py_smi(h, l, c, None, None, None))
    show("TDFI(13, 3)", vl.py_tdfi(c, None, None))
    show("Coppock(11, 14, 10)", vl.py_coppock(c, None, None, None))
