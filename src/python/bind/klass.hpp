#pragma once
// The class helper: heap types built with PyType_FromSpec that embed one C++ value,
// with per-object access tracking (any number of readers or one writer).
//
//   ClassDef<Candle>("Candle", doc)
//       .constructor<make_candle>(arg("timestamp"), ...)
//       .method<"to_dict", candle_to_dict>("to_dict($self)\n--\n\n...")
//       .property<"open", get_open, set_open>()
//       .repr<candle_repr>()
//       .length<count>()            // __len__ (and so the truth value), shared access
//       .create();
//
// A method's receiver parameter decides its access: `T&` takes exclusive access,
// `const T&` shared access; a callable without a receiver becomes a static method.
#include <new>
#include <string>
#include <vector>

#include "python/bind/function.hpp"

namespace vorn::py {

struct Access {
    Py_ssize_t readers = 0;
    bool writer = false;
};

template <class T>
struct Object {
    PyObject_HEAD
    Access access;
    T value;
};

// Held for the duration of one call; refuses a conflicting access with RuntimeError.
class Borrow {
public:
    Borrow(Access& a, bool exclusive) noexcept : a_(&a), exclusive_(exclusive) {
        if (exclusive) {
            if (a.writer || a.readers > 0) {
                PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
                a_ = nullptr;
                return;
            }
            a.writer = true;
        } else {
            if (a.writer) {
                PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                a_ = nullptr;
                return;
            }
            ++a.readers;
        }
    }
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    ~Borrow() {
        if (!a_) return;
        if (exclusive_)
            a_->writer = false;
        else
            --a_->readers;
    }
    explicit operator bool() const noexcept { return a_ != nullptr; }

private:
    Access* a_;
    bool exclusive_;
};

template <class T>
Object<T>* object_of(PyObject* self) {
    return reinterpret_cast<Object<T>*>(self);
}

// A new object of type (T's class) holding v.
template <class T>
PyObject* new_object(PyTypeObject* type, T&& v) {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    auto* o = object_of<T>(self);
    new (&o->access) Access{};
    new (&o->value) T(std::move(v));
    return self;
}

// A new instance of T's registered class holding v.
template <class T>
PyObject* make_instance(T v) {
    PyTypeObject* type = ClassOf<T>::type;
    if (!type) return no_class_for(typeid(T).name());
    return new_object(type, std::move(v));
}

template <class T>
PyObject* ToPy<T>::convert(const T& v) {
    return make_instance<T>(v);
}

template <class T, class First>
constexpr bool is_receiver_v = std::is_reference_v<First> && std::is_same_v<std::remove_cvref_t<First>, T>;

template <class T, class Args>
constexpr bool has_receiver() {
    if constexpr (std::tuple_size_v<Args> == 0)
        return false;
    else
        return is_receiver_v<T, std::tuple_element_t<0, Args>>;
}

template <class T, fixed_string Name, auto F, class... Ps>
struct Method {
    using Info = Callable<decltype(F)>;
    static constexpr bool bound = has_receiver<T, typename Info::args>();
    static constexpr std::size_t Offset = bound ? 1 : 0;
    static constexpr bool exclusive =
        bound && !std::is_const_v<std::remove_reference_t<std::tuple_element_t<0, typename Info::args>>>;
    using Store = storage_tuple_t<typename Info::args, Offset, Ps...>;
    static inline ParamTable<Ps...> table{};

    static PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        return guarded([&]() -> PyObject* {
            PyObject* slots[sizeof...(Ps) + 1] = {};
            PyObject* const* given;
            if (!table.bind(args, nargs, kwnames, slots, given)) return nullptr;
            Store store;
            if constexpr (bound) {
                // Access is taken before the arguments are converted: a conversion that
                // reaches back into this object meets the borrow.
                auto* o = object_of<T>(self);
                Borrow b(o->access, exclusive);
                if (!b) return nullptr;
                if (!convert_all(given, table.params, store)) return nullptr;
                return invoke<F>(store, o->value);
            } else {
                if (!convert_all(given, table.params, store)) return nullptr;
                return invoke<F>(store);
            }
        });
    }
};

template <class T, auto F, class... Ps>
struct Constructor {
    using Info = Callable<decltype(F)>;
    using Store = storage_tuple_t<typename Info::args, 0, Ps...>;
    static inline ParamTable<Ps...> table{};

    static PyObject* tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        return guarded([&]() -> PyObject* {
            FlatArgs flat;
            if (!flat.flatten(args, kwargs)) return nullptr;
            PyObject* slots[sizeof...(Ps) + 1] = {};
            PyObject* const* given;
            if (!table.bind(flat.items.data(), flat.nargs, flat.kwnames.get(), slots, given)) return nullptr;
            Store store;
            if (!convert_all(given, table.params, store)) return nullptr;
            return std::apply(
                [&](auto&... stored) -> PyObject* {
                    auto made = F(stored...);
                    if constexpr (std::is_same_v<decltype(made), T>) {
                        return new_object(type, std::move(made));
                    } else {
                        if (!made) return raise_value_error(made.error().message());
                        return new_object(type, std::move(*made));
                    }
                },
                store);
        });
    }
};

template <class T, fixed_string Name, auto Get, auto Set>
struct Property {
    static PyObject* get(PyObject* self, void*) {
        return guarded([&]() -> PyObject* {
            auto* o = object_of<T>(self);
            Borrow b(o->access, false);
            if (!b) return nullptr;
            return to_py(Get(static_cast<const T&>(o->value)));
        });
    }

    static int set(PyObject* self, PyObject* value, void*) {
        PyObject* r = guarded([&]() -> PyObject* {
            if (!value) {
                PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
                return nullptr;
            }
            using V = storage_t<std::tuple_element_t<1, typename Callable<decltype(Set)>::args>>;
            V v{};
            if (!Convert<V>::from(value, v)) {
                rewrap_argument_error(Name.c_str());
                return nullptr;
            }
            auto* o = object_of<T>(self);
            Borrow b(o->access, true);
            if (!b) return nullptr;
            Set(o->value, std::move(v));
            Py_RETURN_NONE;
        });
        if (!r) return -1;
        Py_DECREF(r);
        return 0;
    }
};

template <class T, auto F>
struct Repr {
    static PyObject* call(PyObject* self) {
        return guarded([&]() -> PyObject* {
            auto* o = object_of<T>(self);
            Borrow b(o->access, false);
            if (!b) return nullptr;
            return to_py(F(static_cast<const T&>(o->value)));
        });
    }
};

template <class T, auto F>
struct Length {
    static Py_ssize_t call(PyObject* self) noexcept {
        auto* o = object_of<T>(self);
        Borrow b(o->access, false);
        if (!b) return -1;
        try {
            return static_cast<Py_ssize_t>(F(static_cast<const T&>(o->value)));
        } catch (...) {
            raise_current_exception();
            return -1;
        }
    }
};

// Creates T's type object once per process; later calls return the same type.
template <class T>
class ClassDef {
public:
    // A class is created once per process and its tables must outlive the type, so a
    // definition that runs again after creation changes nothing; one that runs again after
    // a failed creation starts from empty tables.
    ClassDef(const char* name, const char* doc) : name_(name), doc_(doc), live_(ClassOf<T>::type != nullptr) {
        if (live_) return;
        methods().clear();
        getset().clear();
    }

    template <auto F, class... Ps>
    ClassDef& constructor(Ps... ps) {
        if (live_) return *this;
        using C = Constructor<T, F, Ps...>;
        C::table.fill(name_, "__new__", ps...);
        new_ = reinterpret_cast<void*>(&C::tp_new);
        return *this;
    }

    template <fixed_string Name, auto F, class... Ps>
    ClassDef& method(const char* doc, Ps... ps) {
        using M = Method<T, Name, F, Ps...>;
        static_assert(params_fit<typename M::Info::args, M::Offset, Ps...>(), "required parameters must come first");
        static_assert(all_params_match<typename M::Info::args, M::Offset, Ps...>(),
                      "a parameter that accepts None needs a std::optional native type");
        if (live_) return *this;
        M::table.fill(name_, Name.c_str(), ps...);
        int flags = METH_FASTCALL | METH_KEYWORDS | (M::bound ? 0 : METH_STATIC);
        methods().push_back({Name.c_str(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&M::call)),
                             flags, doc});
        return *this;
    }

    template <fixed_string Name, auto Get, auto Set = nullptr>
    ClassDef& property(const char* doc = nullptr) {
        if (live_) return *this;
        using P = Property<T, Name, Get, Set>;
        setter set = nullptr;
        if constexpr (!std::is_same_v<decltype(Set), std::nullptr_t>) set = &P::set;
        getset().push_back({Name.c_str(), &P::get, set, doc, nullptr});
        return *this;
    }

    template <auto F>
    ClassDef& repr() {
        if (live_) return *this;
        repr_ = reinterpret_cast<void*>(&Repr<T, F>::call);
        return *this;
    }

    template <auto F>
    ClassDef& length() {
        if (live_) return *this;
        length_ = reinterpret_cast<void*>(&Length<T, F>::call);
        return *this;
    }

    PyTypeObject* create() {
        if (ClassOf<T>::type) return ClassOf<T>::type;
        methods().push_back({nullptr, nullptr, 0, nullptr});
        getset().push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
        qualified() = std::string("vorn_library.vorn_library.") + name_;
        std::vector<PyType_Slot> slots;
        slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)});
        if (doc_) slots.push_back({Py_tp_doc, const_cast<char*>(doc_)});
        if (new_) slots.push_back({Py_tp_new, new_});
        if (repr_) slots.push_back({Py_tp_repr, repr_});
        if (length_) slots.push_back({Py_sq_length, length_});
        slots.push_back({Py_tp_methods, methods().data()});
        slots.push_back({Py_tp_getset, getset().data()});
        slots.push_back({0, nullptr});
        unsigned flags = Py_TPFLAGS_DEFAULT | (new_ ? 0u : static_cast<unsigned>(Py_TPFLAGS_DISALLOW_INSTANTIATION));
        PyType_Spec spec{qualified().c_str(), static_cast<int>(sizeof(Object<T>)), 0, flags, slots.data()};
        PyObject* type = PyType_FromSpec(&spec);
        if (!type) return nullptr;
        ClassOf<T>::type = reinterpret_cast<PyTypeObject*>(type);  // held for the life of the process
        return ClassOf<T>::type;
    }

private:
    static std::vector<PyMethodDef>& methods() {
        static std::vector<PyMethodDef> m;
        return m;
    }
    static std::vector<PyGetSetDef>& getset() {
        static std::vector<PyGetSetDef> g;
        return g;
    }
    static std::string& qualified() {
        static std::string q;
        return q;
    }
    static void dealloc(PyObject* self) {
        PyTypeObject* tp = Py_TYPE(self);
        object_of<T>(self)->value.~T();
        tp->tp_free(self);
        Py_DECREF(tp);
    }

    const char* name_;
    const char* doc_;
    bool live_;
    void* new_ = nullptr;
    void* repr_ = nullptr;
    void* length_ = nullptr;
};

}  // namespace vorn::py
