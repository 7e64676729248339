// Benchmark-only module: converts a sequence in and builds a new list out with the
// library's own conversion code, and offers an empty method to time call overhead.
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

const FunctionDef floor_def = def<"roundtrip", identity>("roundtrip(values)\n--\n\n", arg("values"));
const FunctionDef consume_def = def<"consume", consume>("consume(values)\n--\n\n", arg("values"));
const FunctionDef emit_def = def<"emit", emit>("emit(count)\n--\n\n", arg("count"));

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "vorn_bench_floor", "", -1, nullptr,
                          nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" PyMODINIT_FUNC PyInit_vorn_bench_floor(void) {
    PyObject* m = PyModule_Create(&module_def);
    if (!m) return nullptr;
    if (!init_panic_exception() || !add_function(m, floor_def) || !add_function(m, consume_def) ||
        !add_function(m, emit_def))
        return nullptr;
    PyTypeObject* t = ClassDef<Empty>("Empty", "Empty()\n--\n\n")
                          .constructor<make_empty>()
                          .method<"update", noop>("update($self, value)\n--\n\n", arg("value"))
                          .method<"update3", noop3>("update3($self, high, low, close)\n--\n\n", arg("high"),
                                                    arg("low"), arg("close"))
                          .create();
    if (!add_class(m, t)) return nullptr;
    return m;
}
