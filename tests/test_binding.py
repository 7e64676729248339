"""The calling convention shared by every function: binding, conversion, results."""
import array
import inspect
import math

import numpy as np
import pytest

from conftest import nan_equal


class FloatLike:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v


class IndexLike:
    def __index__(self):
        return 3


class Seq:
    """A sequence that is neither list nor tuple nor buffer: the generic path."""

    def __init__(self, items, length=None):
        self.items = items
        self.length = len(items) if length is None else length

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        return self.items[i]


def test_sma_returns_new_list_with_nan_warmup(m):
    values = [1.0, 2.0, 3.0]
    out = m.py_sma(values, 2)
    assert type(out) is list and len(out) == 3
    assert math.isnan(out[0]) and out[1:] == [1.5, 2.5]
    assert values == [1.0, 2.0, 3.0]


@pytest.mark.parametrize(
    "make",
    [
        list,
        tuple,
        lambda v: np.array(v, dtype=np.float64),
        lambda v: np.array(v, dtype=np.int64),
        lambda v: array.array("d", v),
        lambda v: memoryview(array.array("d", v)),
        lambda v: Seq(list(v)),
        lambda v: [FloatLike(x) for x in v],
    ],
    ids=["list", "tuple", "f64", "i64", "array_d", "memoryview", "custom", "float_like"],
)
def test_every_input_path_gives_the_same_values(m, make):
    data = [float(i % 7) for i in range(50)]
    assert nan_equal(m.py_sma(make(data), 5), m.py_sma(data, 5))


def test_range_and_int_tuple_accepted(m):
    assert nan_equal(m.py_sma(range(10), 3), m.py_sma([float(i) for i in range(10)], 3))
    assert nan_equal(m.py_sma((1, 2, 3), 2), [math.nan, 1.5, 2.5])


def test_strided_array_takes_generic_path_with_same_values(m):
    a = np.arange(20, dtype=np.float64)[::2]
    assert nan_equal(m.py_sma(a, 2), m.py_sma(list(a), 2))


def test_non_finite_same_error_on_every_path(m):
    data = [1.0, 2.0, float("nan"), 4.0]
    msgs = set()
    for make in (list, tuple, lambda v: np.array(v), lambda v: array.array("d", v), Seq):
        with pytest.raises(ValueError) as e:
            m.py_sma(make(data), 2)
        msgs.add(str(e.value))
    assert msgs == {"Invalid value at index 2: values contains non-finite value: NaN"}


@pytest.mark.parametrize(
    "values, message",
    [
        ("123", "argument 'values': Can't extract `str` to `Vec`"),
        ({1.0, 2.0}, "argument 'values': 'set' object cannot be cast as 'Sequence'"),
        ({1.0: 2.0}, "argument 'values': 'dict' object cannot be cast as 'Sequence'"),
        ((x for x in [1.0]), "argument 'values': 'generator' object cannot be cast as 'Sequence'"),
        (5.0, "argument 'values': 'float' object cannot be cast as 'Sequence'"),
        (None, "argument 'values': 'NoneType' object cannot be cast as 'Sequence'"),
        ([1.0, "a"], "argument 'values': must be real number, not str"),
        ((1.0, None), "argument 'values': must be real number, not NoneType"),
        (np.array(["a", "b"]), None),
    ],
)
def test_series_conversion_errors(m, values, message):
    with pytest.raises(TypeError) as e:
        m.py_sma(values, 1)
    assert type(e.value) is TypeError
    if message is None:
        assert str(e.value).startswith("argument 'values': ")
    else:
        assert str(e.value) == message


def test_item_overflow_passes_through_without_name(m):
    with pytest.raises(OverflowError) as e:
        m.py_sma([1.0, 10**400], 1)
    assert "argument" not in str(e.value)


def test_iteration_error_passes_through(m):
    class Broken(Seq):
        def __getitem__(self, i):
            if i == 1:
                raise KeyError("boom")
            return 1.0

    with pytest.raises(KeyError):
        m.py_sma(Broken([1.0, 2.0]), 1)


def test_huge_length_hint_does_not_preallocate(m):
    # The reported length is only a hint; reading stops when the items do.
    assert nan_equal(m.py_sma(Seq([1.0, 2.0, 3.0], length=2**60), 1), [1.0, 2.0, 3.0])


def test_list_mutated_by_item_conversion_is_read_safely(m):
    data = [1.0, 2.0, 3.0, 4.0]

    class Shrinker:
        def __float__(self):
            del data[2:]
            return 9.0

    data.insert(1, Shrinker())
    out = m.py_sma(data, 1)
    assert out == [1.0, 9.0]


@pytest.mark.parametrize(
    "period, exc, message",
    [
        (-1, OverflowError, None),
        (2**64, OverflowError, None),
        (2.0, TypeError, "argument 'period': 'float' object cannot be interpreted as an integer"),
        (None, TypeError, "argument 'period': 'NoneType' object cannot be interpreted as an integer"),
        ("2", TypeError, "argument 'period': 'str' object cannot be interpreted as an integer"),
    ],
)
def test_count_conversion(m, period, exc, message):
    with pytest.raises(exc) as e:
        m.py_sma([1.0, 2.0], period)
    assert type(e.value) is exc
    if message:
        assert str(e.value) == message
    else:
        assert "period" not in str(e.value)


def test_count_accepts_index_objects_and_bools(m):
    assert nan_equal(m.py_sma([1.0, 2.0, 3.0, 4.0], IndexLike()), m.py_sma([1.0, 2.0, 3.0, 4.0], 3))
    assert m.py_sma([1.0, 2.0], True) == [1.0, 2.0]


def test_real_conversion(m):
    v = [float(i) for i in range(40)]
    ref = m.py_t3(v, 5, 0.5)
    assert nan_equal(m.py_t3(v, 5, FloatLike(0.5)), ref)
    assert nan_equal(m.py_t3(v, 5, np.float32(0.5)), ref)
    with pytest.raises(TypeError, match=r"^argument 'vfactor': must be real number, not str$"):
        m.py_t3(v, 5, "x")
    with pytest.raises(OverflowError):
        m.py_t3(v, 5, 10**400)


def test_conversion_stops_at_first_failing_argument(m):
    with pytest.raises(TypeError, match="argument 'values'"):
        m.py_t3("abc", "period", "vfactor")
    with pytest.raises(TypeError, match="argument 'period'"):
        m.py_t3([1.0], "period", "vfactor")


def test_typeerror_subclass_is_not_rewrapped(m):
    class MyTypeError(TypeError):
        pass

    class Bad:
        def __float__(self):
            raise MyTypeError("mine")

    with pytest.raises(MyTypeError) as e:
        m.py_sma([Bad()], 1)
    assert str(e.value) == "mine"


def test_rewrapped_error_keeps_cause(m):
    cause = RuntimeError("root")

    class Bad:
        def __float__(self):
            raise TypeError("inner") from cause

    with pytest.raises(TypeError) as e:
        m.py_sma([Bad()], 1)
    assert str(e.value) == "argument 'values': inner"
    assert e.value.__cause__ is cause


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda m: m.py_sma([1.0, 2.0]), "py_sma() missing 1 required positional argument: 'period'"),
        (lambda m: m.py_sma(), "py_sma() missing 2 required positional arguments: 'values' and 'period'"),
        (
            lambda m: m.py_kama(),
            "py_kama() missing 4 required positional arguments: 'values', 'period', 'fast_period', and 'slow_period'",
        ),
        (lambda m: m.py_t3([1.0]), "py_t3() missing 2 required positional arguments: 'period' and 'vfactor'"),
        (lambda m: m.py_sma([1.0], 1, 2), "py_sma() takes 2 positional arguments but 3 were given"),
        (lambda m: m.py_sma([1.0], 1, 2, 3), "py_sma() takes 2 positional arguments but 4 were given"),
        (
            lambda m: m.py_mass_index([1.0], [1.0], 9, 25, 1),
            "py_mass_index() takes from 2 to 4 positional arguments but 5 were given",
        ),
        (
            lambda m: m.py_stochastic([1.0]),
            "py_stochastic() missing 2 required positional arguments: 'low' and 'close'",
        ),
        (lambda m: m.MultiIndicatorResult(), "MultiIndicatorResult.__new__() missing 1 required positional argument: 'name'"),
        # the count keeps its plural; only "was" / "were" follows the number given
        (lambda m: m.MultiIndicatorResult("a", "b"), "MultiIndicatorResult.__new__() takes 1 positional arguments but 2 were given"),
        (lambda m: m.py_sma([1.0], 1, values=[1.0]), "py_sma() got multiple values for argument 'values'"),
        (lambda m: m.py_sma(x=1, values=[1.0], period=1), "py_sma() got an unexpected keyword argument 'x'"),
        (lambda m: m.py_sma([1.0], period=1, extra=2), "py_sma() got an unexpected keyword argument 'extra'"),
        (
            lambda m: m.py_sma([1.0], values=[1.0], period=1),
            "py_sma() got multiple values for argument 'values'",
        ),
        (lambda m: m.IndicatorResult("a", [1.0]).is_empty(1), "IndicatorResult.is_empty() takes 0 positional arguments but 1 was given"),
        (
            lambda m: m.Candle(1, 2.0),
            "Candle.__new__() missing 4 required positional arguments: 'high', 'low', 'close', and 'volume'",
        ),
        (
            lambda m: m.MultiIndicatorResult("a").add_series("k"),
            "MultiIndicatorResult.add_series() missing 1 required positional argument: 'values'",
        ),
    ],
)
def test_binding_messages(m, call, message):
    with pytest.raises(TypeError) as e:
        call(m)
    assert str(e.value) == message


def test_keyword_binding(m):
    assert nan_equal(m.py_sma(values=[1.0, 2.0], period=1), [1.0, 2.0])
    assert nan_equal(m.py_sma(period=1, values=[1.0, 2.0]), [1.0, 2.0])
    v = [float(i) for i in range(40)]
    assert nan_equal(m.py_kama(v, slow_period=30, fast_period=2, period=10), m.py_kama(v, 10, 2, 30))


def test_none_selects_builtin_defaults(m):
    v = [float((i * 37) % 11) for i in range(60)]
    assert nan_equal(m.py_kama(v, None, None, None), m.py_kama(v, 10, 2, 30))
    assert nan_equal(m.py_t3(v, None, None), m.py_t3(v, 5, 0.7))
    assert nan_equal(m.py_frama(v, None), m.py_frama(v, 16))


def test_validation_errors_are_value_errors(m):
    with pytest.raises(ValueError, match=r"^Empty input: values cannot be empty$"):
        m.py_sma([], 1)


DISALLOW_INSTANTIATION = 1 << 7  # Py_TPFLAGS_DISALLOW_INSTANTIATION


def test_text_signatures(m):
    for name in m.__all__:
        obj = getattr(m, name)
        if isinstance(obj, type) and obj.__flags__ & DISALLOW_INSTANTIATION:
            continue  # instances come from the library only: there is no constructor to describe
        assert obj.__text_signature__ is not None, name
        inspect.signature(obj)  # raises when the signature text does not parse
    assert str(inspect.signature(m.py_t3)) == "(values, period=5, vfactor=0.7)"
    assert str(inspect.signature(m.Candle)) == "(timestamp, open, high, low, close, volume)"
    assert str(inspect.signature(m.IndicatorResult.add_metadata)) == "(self, /, key, value)"


def test_text_conversion(m):
    r = m.IndicatorResult("x", [])
    with pytest.raises(UnicodeEncodeError):
        r.add_metadata("k", "\ud800")
    with pytest.raises(TypeError, match=r"^argument 'key': 'bytes' object cannot be cast as 'str'$"):
        r.add_metadata(b"k", "v")
    r.add_metadata("ключ", "值")
    assert r.metadata == {"ключ": "值"}


@pytest.mark.parametrize(
    "call",
    [
        lambda m, p: m.py_atr([1.0] * 5, [1.0] * 5, [1.0] * 5, p),
        lambda m, p: m.py_rsi([1.0] * 5, p),
        lambda m, p: m.py_aroon([1.0] * 5, [1.0] * 5, p),
    ],
)
def test_largest_period_reports_largest_need(m, call):
    # period + 1 must not wrap around to "need at least 0".
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 18446744073709551615 elements, got 5$"):
        call(m, 2**64 - 1)


def test_omissible_parameter_refuses_none_with_its_name(m):
    with pytest.raises(TypeError, match=r"^argument 'fast': 'NoneType' object cannot be interpreted as an integer$"):
        m.py_mass_index([1.0], [1.0], None)


@pytest.mark.parametrize(
    "bad, shown",
    [
        (-2.0, "-2"),
        (-0.5, "-0.5"),
        (-1e21, "-1000000000000000000000"),
        (-(0.1 + 0.2), "-0.30000000000000004"),
        (-1e-7, "-0.0000001"),
        (-123456789.125, "-123456789.125"),
        (-0.1, "-0.1"),
        (-1e22, "-10000000000000000000000"),
        (-1e23, "-100000000000000000000000"),
        (-123456789012345678.0, "-123456789012345680"),
        (-1.7976931348623157e308, "-17976931348623157" + "0" * 292),
        (-2.2250738585072014e-308, "-0." + "0" * 307 + "22250738585072014"),
        (-5e-324, "-0." + "0" * 323 + "5"),
    ],
)
def test_floats_in_messages_are_shortest_without_exponent(m, bad, shown):
    with pytest.raises(ValueError) as e:
        m.py_sqrt([1.0, bad])
    assert str(e.value) == f"Invalid value at index 1: values must be >= 0 for sqrt, got {shown}"
    assert float(shown) == bad


def test_negative_zero_in_messages(m):
    with pytest.raises(ValueError) as e:
        m.OnlineSuperTrend(10, -0.0)
    shown = str(e.value).split(": ", 1)[1].split(" ")[0]
    assert shown == "-0" and math.copysign(1.0, float(shown)) == -1.0


def test_results_are_new_objects(m):
    values = [1.0, 2.0]
    a, b = m.py_sma(values, 1), m.py_sma(values, 1)
    assert a == values and a is not values and a is not b
    a.append(3.0)
    assert values == [1.0, 2.0]


def test_no_cxx_exception_reaches_the_interpreter():
    # The benchmark helper module shares the binding layer and can ask for absurd sizes.
    floor = pytest.importorskip("vorn_bench_floor")
    with pytest.raises(MemoryError):
        floor.emit(2**50)  # the allocation itself fails
    with pytest.raises(BaseException) as e:
        floor.emit(2**62)  # refused before allocating: an internal failure, not an input error
    assert type(e.value).__name__ == "PanicException"
    assert not isinstance(e.value, Exception)
    assert "max_size" in str(e.value)
