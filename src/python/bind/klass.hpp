#pragma once
// The class helper: heap types built with PyType_FromSpec that embed one C++ value,
// with per-object access tracking (any number of readers or one writer).
//
//   ClassDef<Candle>("Candle", doc("..."))   // text signature rendered from the constructor
//       .constructor<make_candle>(arg("timestamp"), ...)
//       .method<"to_dict", &Candle::to_dict>(doc("..."))
//       .mutable_field<"open", &Candle::open>()
//       .property<"typical_price", &Candle::typical_price>("...")
//       .repr<&Candle::repr>()
//       .length<count>()            // __len__ (and so the truth value), shared access
//       .create();
//
// A method's receiver decides its access: a member function or a callable taking `T&`
// takes exclusive access, a const member function or `const T&` shared access; a callable
// without a receiver becomes a static method. Fields, getters and member functions bind
// directly, without forwarding shims.
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
    static inline constinit ParamTable<Ps...> table{};
    static inline constinit std::string doc{};

    // One flat trampoline: binding, conversion, the call (a header kernel or member inlined)
    // and the result, with no call of its own between them; a raw call is the product.
    [[gnu::flatten]] static PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
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
    static inline constinit ParamTable<Ps...> table{};
    static inline constinit ParamTable<> no_arguments{};

    static PyObject* make(PyTypeObject* type, Store& store) {
        auto made = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return F(pass<std::tuple_element_t<I, typename Info::args>>(std::get<I>(store))...);
        }(std::index_sequence_for<Ps...>{});
        if constexpr (std::is_same_v<decltype(made), T>) {
            return new_object(type, std::move(made));
        } else {
            if (!made) return raise_value_error(made.error().message());
            return new_object(type, std::move(*made));
        }
    }

    static PyObject* tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        return guarded([&]() -> PyObject* {
            FlatArgs flat;
            if (!flat.flatten(args, kwargs)) return nullptr;
            PyObject* slots[sizeof...(Ps) + 1] = {};
            PyObject* const* given;
            if (!table.bind(flat.items.data(), flat.nargs, flat.kwnames.get(), slots, given)) return nullptr;
            Store store;
            if (!convert_all(given, table.params, store)) return nullptr;
            return make(type, store);
        });
    }

    static void name_with_defaults(const char* owner) {
        no_arguments.template fill<std::tuple<>>(owner, "with_defaults");
    }

    // The static method with_defaults(): the constructor called with every declared default.
    static PyObject* with_defaults(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        return guarded([&]() -> PyObject* {
            PyObject* none[1] = {};
            PyObject* const* given;
            if (!no_arguments.bind(args, nargs, kwnames, none, given)) return nullptr;
            PyObject* omitted[sizeof...(Ps) + 1] = {};
            Store store;
            if (!convert_all(omitted, table.params, store)) return nullptr;
            return make(ClassOf<T>::type, store);
        });
    }
};

// The type a setter stores: a field's type, or the setter function's value parameter.
template <class T, auto Set>
struct SetterValue {
    using type = storage_t<std::tuple_element_t<1, typename Callable<decltype(Set)>::args>>;
};
template <class T, auto Set>
    requires std::is_member_object_pointer_v<decltype(Set)>
struct SetterValue<T, Set> {
    using type = std::remove_cvref_t<decltype(std::declval<T&>().*Set)>;
};

template <class T, fixed_string Name, auto Get, auto Set>
struct Property {
    // A settable attribute's value, as the test-only introspection reports it: an entry
    // "Owner.name.__set__" with the one parameter the setter converts. Attributes hold a
    // record's data (a candle's prices), so a real here is "real", never a setting.
    static inline constinit EntryInfo setter_info{};

    static void describe_setter(const char* owner) {
        if (!setter_info.name.empty()) return;
        using V = typename SetterValue<T, Set>::type;
        setter_info.name = std::string(owner) + "." + Name.c_str() + ".__set__";
        setter_info.params.push_back(ParamInfo{Name.c_str(), Kind<V>::name(), true, is_optional_v<V>, false, {}});
        entry_infos().push_back(&setter_info);
    }

    static PyObject* get(PyObject* self, void*) {
        return guarded([&]() -> PyObject* {
            auto* o = object_of<T>(self);
            Borrow b(o->access, false);
            if (!b) return nullptr;
            return to_py(std::invoke(Get, static_cast<const T&>(o->value)));
        });
    }

    static int set(PyObject* self, PyObject* value, void*) {
        PyObject* r = guarded([&]() -> PyObject* {
            if (!value) {
                PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
                return nullptr;
            }
            using V = typename SetterValue<T, Set>::type;
            V v{};
            if (!Convert<V>::from(value, v)) {
                rewrap_argument_error(Name.c_str());
                return nullptr;
            }
            auto* o = object_of<T>(self);
            Borrow b(o->access, true);
            if (!b) return nullptr;
            if constexpr (std::is_member_object_pointer_v<decltype(Set)>)
                o->value.*Set = std::move(v);
            else
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
            return to_py(std::invoke(F, static_cast<const T&>(o->value)));
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
            return static_cast<Py_ssize_t>(std::invoke(F, static_cast<const T&>(o->value)));
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
    //
    // This form keeps the docstring as it stands (or none): records without a constructor.
    ClassDef(const char* name, const char* doc) : name_(name), doc_(doc), live_(ClassOf<T>::type != nullptr) {
        if (live_) return;
        methods().clear();
        getset().clear();
    }
    // This form starts the docstring with the text signature rendered from the constructor.
    ClassDef(const char* name, Doc d) : ClassDef(name, static_cast<const char*>(nullptr)) {
        doc_spec_ = std::move(d);
    }

    template <auto F, class... Ps>
    ClassDef& constructor(Ps... ps) {
        if (live_) return *this;
        using C = Constructor<T, F, Ps...>;
        check_declarations<typename C::Info::args, 0, Ps...>();
        C::table.template fill<typename C::Store>(name_, "__new__", ps...);
        new_ = reinterpret_cast<void*>(&C::tp_new);
        with_defaults_ = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&C::with_defaults));
        name_with_defaults_ = &C::name_with_defaults;
        ctor_params_ = &C::table.info.params;
        return *this;
    }

    template <fixed_string Name, auto F, class... Ps>
    ClassDef& method(Doc d, Ps... ps) {
        using M = Method<T, Name, F, Ps...>;
        check_declarations<typename M::Info::args, M::Offset, Ps...>();
        if (live_) return *this;
        M::table.template fill<typename M::Store>(name_, Name.c_str(), ps...);
        std::string params = render_params(M::table.info.params, d.shown);
        if (M::bound) params = params.empty() ? "$self" : "$self, " + params;
        M::doc = docstring(Name.c_str(), params, d);
        int flags = METH_FASTCALL | METH_KEYWORDS | (M::bound ? 0 : METH_STATIC);
        methods().push_back({Name.c_str(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&M::call)),
                             flags, M::doc.c_str()});
        return *this;
    }

    // The static method with_defaults(): a new instance made with every default the
    // constructor declares. Follows constructor<>().
    ClassDef& with_defaults(Doc d) {
        if (live_) return *this;
        name_with_defaults_(name_);
        static std::string text;
        text = docstring("with_defaults", "", d);
        methods().push_back(
            {"with_defaults", with_defaults_, METH_FASTCALL | METH_KEYWORDS | METH_STATIC, text.c_str()});
        return *this;
    }

    // An attribute read by Get (a getter function, a const member function or a field) and,
    // where Set is given, written by it (a setter function or the field).
    template <fixed_string Name, auto Get, auto Set = nullptr>
    ClassDef& property(const char* doc = nullptr) {
        if (live_) return *this;
        using P = Property<T, Name, Get, Set>;
        setter set = nullptr;
        if constexpr (!std::is_same_v<decltype(Set), std::nullptr_t>) {
            set = &P::set;
            P::describe_setter(name_);
        }
        getset().push_back({Name.c_str(), &P::get, set, doc, nullptr});
        return *this;
    }
    // A field read and written in place.
    template <fixed_string Name, auto Field>
    ClassDef& mutable_field(const char* doc = nullptr) {
        return property<Name, Field, Field>(doc);
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
        if (doc_spec_) {
            static std::string text;
            text = docstring(name_, ctor_params_ ? render_params(*ctor_params_, doc_spec_->shown) : "", *doc_spec_);
            doc_ = text.c_str();
        }
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
    std::optional<Doc> doc_spec_;
    const std::vector<ParamInfo>* ctor_params_ = nullptr;
    PyCFunction with_defaults_ = nullptr;
    void (*name_with_defaults_)(const char* owner) = nullptr;
    bool live_;
    void* new_ = nullptr;
    void* repr_ = nullptr;
    void* length_ = nullptr;
};

}  // namespace vorn::py
