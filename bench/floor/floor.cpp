// Benchmark- and test-only module: converts a sequence in and builds a new list out with the
// library's own conversion code, offers an empty method to time call overhead, and reports
// every binding's declared parameters (introspect.cpp).
#include "bench/floor/introspect.hpp"
#include "python/bind/klass.hpp"
#include "python/bind/module.hpp"

namespace {

using namespace vorn::py;

const Series& identity(const Series& values) { return values; }
std::uint64_t consume(const Series& values) { return values.size(); }
Series emit(std::uint64_t count) { return Series(count, 1.5); }

struct Empty {};
Empty make_empty() { return {}; }
void noop(Empty&, double) {}
void noop3(Empty&, double, double, double) {}

}  // namespace

namespace floor_entries {
enum class Id { roundtrip, consume, emit };
constexpr const char* entry_name(Id id) {
    constexpr const char* names[] = {"roundtrip", "consume", "emit"};
    return names[static_cast<int>(id)];
}
}  // namespace floor_entries

namespace {

using floor_entries::Id;

const FunctionDef floor_def = def<Id::roundtrip, identity>(Doc{}, arg("values"));
const FunctionDef consume_def = def<Id::consume, consume>(Doc{}, arg("values"));
const FunctionDef emit_def = def<Id::emit, emit>(Doc{}, arg("count"));

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "vorn_bench_floor", "", -1, nullptr,
                          nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" PyMODINIT_FUNC PyInit_vorn_bench_floor(void) {
    PyObject* m = PyModule_Create(&module_def);
    if (!m) return nullptr;
    if (!init_panic_exception() || !add_function(m, floor_def) || !add_function(m, consume_def) ||
        !add_function(m, emit_def))
        return nullptr;
    PyTypeObject* t = ClassDef<Empty>("Empty", Doc{})
                          .constructor<make_empty>()
                          .method<"update", noop>(Doc{}, data_arg("value"))
                          .method<"update3", noop3>(Doc{}, data_arg("high"), data_arg("low"), data_arg("close"))
                          .create();
    if (!add_class(m, t) || !add_introspection(m) || !add_fast_paths(m)) return nullptr;
    return m;
}
