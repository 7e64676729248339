"""Per-tick cost of the streaming indicators: (name, factory, update arguments).

Each factory returns an object already past its warm-up, so that the timed calls run
the steady-state update that a live feed pays on every tick. The runner feeds a random
walk with as many values per tick as the example arguments hold."""
import math

import vorn_library.vorn_library as vl


def _warm(obj, arity, n=300):
    for i in range(n):
        c = 100.0 + 5.0 * math.sin(i / 7.0)
        obj.update(c) if arity == 1 else obj.update(c + 1.0, c - 1.0, c)
    return obj


STREAMING = [
    ("OnlineSMA(20)", lambda: _warm(vl.OnlineSMA(20), 1), (101.5,)),
    ("OnlineEMA(20)", lambda: _warm(vl.OnlineEMA(20), 1), (101.5,)),
    ("OnlineRSI(14)", lambda: _warm(vl.OnlineRSI(14), 1), (101.5,)),
    ("OnlineATR(14)", lambda: _warm(vl.OnlineATR(14), 3), (102.5, 100.5, 101.5)),
    ("OnlineMACD(12,26,9)", lambda: _warm(vl.OnlineMACD(), 1), (101.5,)),
    ("OnlineBollingerBands(20,2)", lambda: _warm(vl.OnlineBollingerBands(), 1), (101.5,)),
    ("OnlineStochastic(14,3,3)", lambda: _warm(vl.OnlineStochastic(), 3), (102.5, 100.5, 101.5)),
    ("OnlineSuperTrend(10,3)", lambda: _warm(vl.OnlineSuperTrend(), 3), (102.5, 100.5, 101.5)),
    ("OnlineAdaptiveRSI(7,21,14)", lambda: _warm(vl.OnlineAdaptiveRSI(), 1), (101.5,)),
    ("OnlineEnsembleSignal()", lambda: _warm(vl.OnlineEnsembleSignal(), 3), (102.5, 100.5, 101.5)),
    ("OnlineMLSuperTrend(10,3,2,20)", lambda: _warm(vl.OnlineMLSuperTrend(), 3), (102.5, 100.5, 101.5)),
    ("OnlineAISuperTrendML(10,3,10,200)", lambda: _warm(vl.OnlineAISuperTrendML(), 3), (102.5, 100.5, 101.5)),
]
