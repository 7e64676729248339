"""OhlcvFrame: cache hits (held to building the returned lists) and misses (the kernel, the
copy into the cache and the lists out); compare a miss with the module function's own case."""
import vorn_library.vorn_library as vl

def new_frame(bars):
    n = len(bars["close"])
    return vl.OhlcvFrame(list(range(n)), bars["open"], bars["high"], bars["low"], bars["close"], bars["volume"])


def per_bar_set(prepare):
    """Each case keeps its own frame per bar set (with the bars, so that the id is not reused);
    prepare runs once, when the frame is made."""
    def wrap(call):
        frames = {}

        def run(bars):
            held = frames.get(id(bars))
            if held is None:
                held = frames[id(bars)] = (bars, new_frame(bars))
                prepare(held[1], call)
            return call(held[1])
        return run
    return wrap


def clear_then(call):
    def run(f):
        f.clear_cache()
        return call(f)
    return run


hit = per_bar_set(lambda f, call: call(f))  # computed once; every timed call is a hit


def miss(call):
    return per_bar_set(lambda f, call: None)(clear_then(call))


# No series goes in: the floor of a frame case is its output lists alone.
CASES = [
    ("OhlcvFrame.sma(20) hit", hit(lambda f: f.sma(20)), 0, 1),
    ("OhlcvFrame.macd(12, 26, 9) hit", hit(lambda f: f.macd(12, 26, 9)), 0, 3),
    ("OhlcvFrame.supertrend(10, 3.0) hit", hit(lambda f: f.supertrend(10, 3.0)), 0, 4),
    ("OhlcvFrame.compute_common_indicators() hit", hit(lambda f: f.compute_common_indicators()), 0, 10),
    ("OhlcvFrame.sma(20) miss", miss(lambda f: f.sma(20)), 0, 1),
    ("OhlcvFrame.macd(12, 26, 9) miss", miss(lambda f: f.macd(12, 26, 9)), 0, 3),
    ("OhlcvFrame.supertrend(10, 3.0) miss", miss(lambda f: f.supertrend(10, 3.0)), 0, 4),
    ("OhlcvFrame.compute_common_indicators() miss", miss(lambda f: f.compute_common_indicators()), 0, 10),
]
