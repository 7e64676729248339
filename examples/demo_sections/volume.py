"""Volume lines, money flow, VWAP, the volume profile, and the RVI / inertia / PGO / force-index set."""


def run(vl, bars, section, show):
    o, h, l, c, v = (bars[k] for k in ("open", "high", "low", "close", "volume"))

    section("Volume")
    show("OBV", vl.py_obv(c, v))
    show("A/D line", vl.py_ad(h, l, c, v))
    show("Chaikin A/D oscillator(3, 10)", vl.py_adosc(h, l, c, v, 3, 10))
    show("Chaikin money flow(20)", vl.py_cmf(h, l, c, v, 20))
    show("Money flow index(14)", vl.py_mfi(h, l, c, v, 14))
    show("VWAP cumulative / rolling(20)", [vl.py_vwap(h, l, c, v)[-1], vl.py_vwap(h, l, c, v, 20)[-1]], last=2)
    show("Price-volume trend", vl.py_pvt(c, v))
    show("NVI / PVI", [vl.py_nvi(c, v)[-1], vl.py_pvi(c, v)[-1]], last=2)
    show("Ease of movement(14)", vl.py_eom(h, l, v, 14))
    show("Volume oscillator(5, 10) %", vl.py_volume_oscillator(v, 5, 10))
    centres, volumes, poc = vl.py_volume_profile(h, l, c, v, 12)
    busiest = max(range(len(volumes)), key=volumes.__getitem__)
    print(f"  {'Volume profile(12)':<32} point of control {poc:.4f}, "
          f"{volumes[busiest] / sum(volumes):.1%} of the volume in its bin")

    section("RVI, inertia, PGO and EFI")
    rvi, signal = vl.py_rvi(o, h, l, c, 10, 4)
    show("RVI(10) / signal(4)", [rvi[-1], signal[-1]], last=2)
    show("Inertia(14, 20)", vl.py_inertia(o, h, l, c, 14, 20))
    show("Pretty good oscillator(14)", vl.py_pgo(h, l, c, 14))
    show("Elder force index(13) (= py_force_index)", vl.py_efi(c, v, 13))
