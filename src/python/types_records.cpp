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


IndicatorResult make_indicator_result(std::string name, Series values) { return {std::move(name), std::move(values), {}}; }
MultiIndicatorResult make_multi_result(std::string name) { return {std::move(name), {}, {}}; }

template <class R>
void add_metadata(R& r, std::string key, std::string value) { r.metadata.insert_or_assign(std::move(key), std::move(value)); }

std::uint64_t get_len(const IndicatorResult& r) { return r.values.size(); }
bool is_empty(const IndicatorResult& r) { return r.values.empty(); }

void add_series(MultiIndicatorResult& r, std::string key, Series values) {
    r.series.insert_or_assign(std::move(key), std::move(values));
}

}  // namespace

PyTypeObject* candle_class() {
    return ClassDef<Candle>("Candle", doc("K线数据结构（OHLCV）"))
        .constructor<make_candle>(arg("timestamp"), data_arg("open"), data_arg("high"), data_arg("low"),
                                  data_arg("close"), data_arg("volume"))
        .mutable_field<"timestamp", &Candle::timestamp>()
        .mutable_field<"open", &Candle::open>()
        .mutable_field<"high", &Candle::high>()
        .mutable_field<"low", &Candle::low>()
        .mutable_field<"close", &Candle::close>()
        .mutable_field<"volume", &Candle::volume>()
        .property<"typical_price", &Candle::typical_price>("获取典型价格 (high + low + close) / 3")
        .property<"median_price", &Candle::median_price>("获取中间价 (high + low) / 2")
        .property<"weighted_close", &Candle::weighted_close>("获取加权收盘价 (high + low + 2*close) / 4")
        .method<"to_dict", &Candle::to_dict>(doc("转换为 Python 字典"))
        .repr<&Candle::repr>()
        .create();
}

PyTypeObject* indicator_result_class() {
    return ClassDef<IndicatorResult>("IndicatorResult", doc("指标计算结果（单序列）"))
        .constructor<make_indicator_result>(arg("name"), arg("values"))
        .property<"name", &IndicatorResult::name>()
        .property<"values", &IndicatorResult::values>()
        .property<"metadata", &IndicatorResult::metadata>()
        .property<"len", get_len>("获取长度")
        .method<"is_empty", is_empty>(Doc{})
        .method<"add_metadata", add_metadata<IndicatorResult>>(doc("添加元数据"), arg("key"), arg("value"))
        .create();
}

PyTypeObject* multi_indicator_result_class() {
    return ClassDef<MultiIndicatorResult>("MultiIndicatorResult", doc("多序列指标结果（如 MACD 返回 3 条线）"))
        .constructor<make_multi_result>(arg("name"))
        .property<"name", &MultiIndicatorResult::name>()
        .property<"series", &MultiIndicatorResult::series>()
        .property<"metadata", &MultiIndicatorResult::metadata>()
        .method<"add_series", add_series>(doc("添加序列"), arg("key"), arg("values"))
        .method<"add_metadata", add_metadata<MultiIndicatorResult>>(doc("添加元数据"), arg("key"), arg("value"))
        .create();
}

}  // namespace vorn::py::families
