// Candle, IndicatorResult and MultiIndicatorResult.
#include "python/bind/klass.hpp"
#include "python/families.hpp"
#include "types/records.hpp"

namespace vorn::py::families {

using types::Candle;
using types::IndicatorResult;
using types::MultiIndicatorResult;

namespace {

Candle make_candle(std::int64_t ts, double o, double h, double l, double c, double v) { return {ts, o, h, l, c, v}; }

template <auto Field>
double get_field(const Candle& c) { return c.*Field; }
template <auto Field>
void set_field(Candle& c, double v) { c.*Field = v; }
std::int64_t get_timestamp(const Candle& c) { return c.timestamp; }
void set_timestamp(Candle& c, std::int64_t v) { c.timestamp = v; }
double typical_price(const Candle& c) { return c.typical_price(); }
double median_price(const Candle& c) { return c.median_price(); }
double weighted_close(const Candle& c) { return c.weighted_close(); }
types::SeededMap<double> candle_to_dict(const Candle& c) { return c.to_dict(); }
std::string candle_repr(const Candle& c) { return c.repr(); }

IndicatorResult make_indicator_result(std::string name, Series values) { return {std::move(name), std::move(values), {}}; }
MultiIndicatorResult make_multi_result(std::string name) { return {std::move(name), {}, {}}; }

template <class R>
std::string get_name(const R& r) { return r.name; }
template <class R>
types::SeededMap<std::string> get_metadata(const R& r) { return r.metadata; }
template <class R>
void add_metadata(R& r, std::string key, std::string value) { r.metadata.insert_or_assign(std::move(key), std::move(value)); }

const Series& get_values(const IndicatorResult& r) { return r.values; }
std::uint64_t get_len(const IndicatorResult& r) { return r.values.size(); }
bool is_empty(const IndicatorResult& r) { return r.values.empty(); }

const types::SeededMap<Series>& get_series(const MultiIndicatorResult& r) { return r.series; }
void add_series(MultiIndicatorResult& r, std::string key, Series values) {
    r.series.insert_or_assign(std::move(key), std::move(values));
}

}  // namespace

PyTypeObject* candle_class() {
    return ClassDef<Candle>("Candle", "Candle(timestamp, open, high, low, close, volume)\n--\n\nK线数据结构（OHLCV）")
        .constructor<make_candle>(arg("timestamp"), arg("open"), arg("high"), arg("low"), arg("close"), arg("volume"))
        .property<"timestamp", get_timestamp, set_timestamp>()
        .property<"open", get_field<&Candle::open>, set_field<&Candle::open>>()
        .property<"high", get_field<&Candle::high>, set_field<&Candle::high>>()
        .property<"low", get_field<&Candle::low>, set_field<&Candle::low>>()
        .property<"close", get_field<&Candle::close>, set_field<&Candle::close>>()
        .property<"volume", get_field<&Candle::volume>, set_field<&Candle::volume>>()
        .property<"typical_price", typical_price>("获取典型价格 (high + low + close) / 3")
        .property<"median_price", median_price>("获取中间价 (high + low) / 2")
        .property<"weighted_close", weighted_close>("获取加权收盘价 (high + low + 2*close) / 4")
        .method<"to_dict", candle_to_dict>("to_dict($self)\n--\n\n转换为 Python 字典")
        .repr<candle_repr>()
        .create();
}

PyTypeObject* indicator_result_class() {
    return ClassDef<IndicatorResult>("IndicatorResult", "IndicatorResult(name, values)\n--\n\n指标计算结果（单序列）")
        .constructor<make_indicator_result>(arg("name"), arg("values"))
        .property<"name", get_name<IndicatorResult>>()
        .property<"values", get_values>()
        .property<"metadata", get_metadata<IndicatorResult>>()
        .property<"len", get_len>("获取长度")
        .method<"is_empty", is_empty>("is_empty($self)\n--\n\n")
        .method<"add_metadata", add_metadata<IndicatorResult>>("add_metadata($self, key, value)\n--\n\n添加元数据",
                                                                arg("key"), arg("value"))
        .create();
}

PyTypeObject* multi_indicator_result_class() {
    return ClassDef<MultiIndicatorResult>("MultiIndicatorResult",
                                          "MultiIndicatorResult(name)\n--\n\n多序列指标结果（如 MACD 返回 3 条线）")
        .constructor<make_multi_result>(arg("name"))
        .property<"name", get_name<MultiIndicatorResult>>()
        .property<"series", get_series>()
        .property<"metadata", get_metadata<MultiIndicatorResult>>()
        .method<"add_series", add_series>("add_series($self, key, values)\n--\n\n添加序列", arg("key"), arg("values"))
        .method<"add_metadata", add_metadata<MultiIndicatorResult>>(
            "add_metadata($self, key, value)\n--\n\n添加元数据", arg("key"), arg("value"))
        .create();
}

}  // namespace vorn::py::families
