"""Candle, IndicatorResult and MultiIndicatorResult."""
import math

import pytest


def test_candle_derived_prices(m):
    c = m.Candle(0, 1.0, 2.0, 0.5, 1.5, 100.0)
    assert c.median_price == 1.25
    assert c.typical_price == 4.0 / 3.0
    assert c.weighted_close == 1.375


@pytest.mark.parametrize(
    "args, text",
    [
        ((1, 1, 2, 1, 1.75, 1000), "Candle(O:1.00, H:2.00, L:1.00, C:1.75, V:1000.00)"),
        ((1, 1.5, 2, 1, 1.75, 1000), "Candle(O:1.50, H:2.00, L:1.00, C:1.75, V:1000.00)"),
        ((1, 1.005, 2.675, -0.0, 1e20, 0.125), "Candle(O:1.00, H:2.67, L:-0.00, C:100000000000000000000.00, V:0.12)"),
        ((1, math.nan, math.inf, -math.inf, 0, 0), "Candle(O:NaN, H:inf, L:-inf, C:0.00, V:0.00)"),
    ],
)
def test_candle_repr(m, args, text):
    assert repr(m.Candle(*args)) == text


def test_candle_attributes_read_write(m):
    c = m.Candle(5, 1.0, 2.0, 0.5, 1.5, 100.0)
    assert type(c.timestamp) is int and c.timestamp == 5
    c.open = 3
    assert type(c.open) is float and c.open == 3.0
    c.timestamp = -(2**63)
    assert c.timestamp == -(2**63)
    c.high = 0.1  # no invariant between high and low
    assert c.high == 0.1


def test_candle_attribute_errors(m):
    c = m.Candle(5, 1.0, 2.0, 0.5, 1.5, 100.0)
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        del c.open
    with pytest.raises(TypeError, match=r"^argument 'open': "):
        c.open = "x"
    assert c.open == 1.0
    with pytest.raises(AttributeError):
        c.median_price = 1.0
    with pytest.raises(OverflowError):
        c.timestamp = 2**63


def test_candle_constructor_errors(m):
    with pytest.raises(TypeError, match=r"^argument 'timestamp': "):
        m.Candle(1.5, 1, 2, 1, 1, 1)
    with pytest.raises(OverflowError):
        m.Candle(2**63, 1, 2, 1, 1, 1)
    with pytest.raises(TypeError, match=r"^argument 'close': "):
        m.Candle(1, 1, 2, 1, None, 1)
    c = m.Candle(timestamp=1, open=1, high=2, low=1, close=1, volume=1)
    assert c.volume == 1.0


def test_candle_to_dict(m):
    d = m.Candle(7, 1.0, 2.0, 0.5, 1.5, 100.0).to_dict()
    assert d == {"timestamp": 7.0, "open": 1.0, "high": 2.0, "low": 0.5, "close": 1.5, "volume": 100.0}
    assert all(type(v) is float for v in d.values())


def test_indicator_result(m):
    r = m.IndicatorResult("x", [])
    assert r.is_empty() is True and r.len == 0
    r = m.IndicatorResult("rsi", (1, 2.5, math.nan))
    assert r.name == "rsi" and r.len == 3 and r.is_empty() is False
    vals = r.values
    vals.append(1.0)
    assert r.len == 3 and len(r.values) == 3
    assert math.isnan(r.values[2])
    r.add_metadata("k", "a")
    r.add_metadata("k", "b")
    r.add_metadata("j", "c")
    assert r.metadata == {"k": "b", "j": "c"}
    r.metadata["z"] = "q"
    assert "z" not in r.metadata
    with pytest.raises(TypeError, match=r"^argument 'value': "):
        r.add_metadata("k", 1)
    assert r.metadata["k"] == "b"
    with pytest.raises(TypeError, match=r"^argument 'values': Can't extract `str` to `Vec`$"):
        m.IndicatorResult("x", "abc")
    with pytest.raises(AttributeError):
        r.name = "y"
    with pytest.raises(TypeError):
        len(r)


def test_multi_indicator_result(m):
    r = m.MultiIndicatorResult("macd")
    assert r.series == {} and r.metadata == {}
    r.add_series("a", [1.0, 2.0])
    r.add_series("a", [3.0])
    r.add_series("b", range(2))
    assert r.series == {"a": [3.0], "b": [0.0, 1.0]}
    r.add_metadata("fast", "12")
    assert r.metadata == {"fast": "12"}
    with pytest.raises(AttributeError):
        r.name = "y"
    with pytest.raises(TypeError, match=r"^argument 'values': "):
        r.add_series("c", {1.0})
    assert set(r.series) == {"a", "b"}


def test_reentrant_access_is_refused(m):
    r = m.MultiIndicatorResult("x")

    class Peek:
        def __float__(self):
            r.series  # shared access while add_series holds exclusive access
            return 1.0

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        r.add_series("k", [Peek()])
    assert r.series == {}

    c = m.Candle(1, 1.0, 1.0, 1.0, 1.0, 1.0)

    class Write:
        def __float__(self):
            c.open = 2.0
            return 1.0

    c.open = Write()  # the setter converts before it takes access
    assert c.open == 1.0


def test_records_have_no_subclassing(m):
    for cls in (m.Candle, m.IndicatorResult, m.MultiIndicatorResult):
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})


def test_members_refuse_an_instance_of_another_class(m):
    c, r = m.Candle(1, 1.0, 2.0, 0.5, 1.5, 10.0), m.IndicatorResult("x", [1.0])
    with pytest.raises(TypeError):
        m.Candle.to_dict(r)
    with pytest.raises(TypeError):
        m.Candle.__repr__(r)
    with pytest.raises(TypeError):
        m.IndicatorResult.len.__get__(c)
    with pytest.raises(TypeError):
        m.Candle.open.__set__(r, 1.0)
    with pytest.raises(TypeError):
        m.MultiIndicatorResult.add_metadata(r, "k", "v")
    assert r.metadata == {}


def test_read_only_attributes(m):
    c = m.Candle(1, 1.0, 2.0, 0.5, 1.5, 10.0)
    for name in ("typical_price", "median_price", "weighted_close"):
        with pytest.raises(AttributeError):
            delattr(c, name)
    r, mr = m.IndicatorResult("x", [1.0]), m.MultiIndicatorResult("y")
    for obj, names in ((r, ("name", "values", "metadata", "len")), (mr, ("name", "series", "metadata"))):
        for name in names:
            with pytest.raises(AttributeError):
                setattr(obj, name, getattr(obj, name))
            with pytest.raises(AttributeError):
                delattr(obj, name)


def test_candle_setters_convert_like_the_constructor(m):
    c = m.Candle(1, 1.0, 2.0, 0.5, 1.5, 10.0)
    with pytest.raises(TypeError, match=r"^argument 'timestamp': 'float' object cannot be interpreted as an integer$"):
        c.timestamp = 2.5
    with pytest.raises(TypeError, match=r"^argument 'volume': must be real number, not NoneType$"):
        c.volume = None
    c.close, c.timestamp = True, False
    assert (c.close, c.timestamp, c.timestamp.__class__) == (1.0, 0, int)
    assert (c.timestamp, c.volume) == (0, 10.0)
    c.low = math.nan  # stored unchanged, and the derived prices follow
    assert math.isnan(c.low) and math.isnan(c.median_price)


def test_docstrings(m):
    docs = {
        m.Candle: ("(timestamp, open, high, low, close, volume)", "K线数据结构（OHLCV）"),
        m.Candle.to_dict: ("($self)", "转换为 Python 字典"),
        m.IndicatorResult: ("(name, values)", "指标计算结果（单序列）"),
        m.IndicatorResult.is_empty: ("($self)", None),
        m.IndicatorResult.add_metadata: ("($self, key, value)", "添加元数据"),
        m.MultiIndicatorResult: ("(name)", "多序列指标结果（如 MACD 返回 3 条线）"),
        m.MultiIndicatorResult.add_series: ("($self, key, values)", "添加序列"),
        m.MultiIndicatorResult.add_metadata: ("($self, key, value)", "添加元数据"),
    }
    for obj, (signature, text) in docs.items():
        assert obj.__text_signature__ == signature
        assert obj.__doc__ == text
    assert m.Candle.typical_price.__doc__ == "获取典型价格 (high + low + close) / 3"
    assert m.Candle.median_price.__doc__ == "获取中间价 (high + low) / 2"
    assert m.Candle.weighted_close.__doc__ == "获取加权收盘价 (high + low + 2*close) / 4"
    assert m.IndicatorResult.len.__doc__ == "获取长度"
