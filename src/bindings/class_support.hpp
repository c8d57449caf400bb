// What the four version classes share: the guard at every slot, the cache of
// a class object, instance allocation and deallocation, the text forms,
// rich comparison, properties and the constructor of the three kind classes.
//
// Every slot runs with the interpreter lock held. A borrow of an instance is
// only ever held across C++ work on its value, never across Python code of
// the caller, so borrow conflicts do not arise in ordinary use.
#pragma once

#include <Python.h>

#include <array>
#include <atomic>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "bindings/api.hpp"
#include "bindings/borrow.hpp"
#include "bindings/classes.hpp"
#include "bindings/conversions.hpp"
#include "bindings/errors.hpp"
#include "core/fault.hpp"
#include "core/grammar.hpp"
#include "bindings/instance.hpp"
#include "bindings/py_ref.hpp"
#include "bindings/static_name.hpp"
#include "bindings/test_hooks.hpp"
#include "core/report.hpp"
#include "core/result.hpp"
#include "core/version.hpp"

namespace vorna::bindings {

// ---------------------------------------------------------------------------
// Class objects

// One class object, created from its type description on first use and kept for the
// process. A failed creation leaves the cache empty; the next call retries.
class TypeCache {
public:
    explicit constexpr TypeCache(PyType_Spec& type_spec, vectorcallfunc vectorcall = nullptr) noexcept
        : type_spec_(type_spec), vectorcall_(vectorcall) {}

    // Borrowed reference, or null with an error set.
    PyTypeObject* get() noexcept {
        if (PyTypeObject* type = type_.load(std::memory_order_acquire)) return type;
        return create();
    }

private:
    PyTypeObject* create() noexcept;

    PyType_Spec& type_spec_;
    // Calls of the class object itself, when the class answers them without
    // the generic type call (no argument tuple, no __init__ lookup).
    vectorcallfunc vectorcall_;
    std::atomic<PyTypeObject*> type_{nullptr};
};

// ---------------------------------------------------------------------------
// Instances

template <class T> Instance<T>* instance_of(PyObject* object) noexcept { return Instance<T>::from(object); }

// Allocates an instance of `type` with `tail` spare bytes after it and
// constructs the blank value and a free borrow counter in it.
template <class T> PyObject* alloc_instance(PyTypeObject* type, std::size_t tail) noexcept {
    static_assert(std::is_nothrow_default_constructible_v<T>);
    static_assert(sizeof(Instance<T>) % 8 == 0, "the tail holds blocks of 32-bit words and must stay aligned");
    PyObject* object = nullptr;
    if (tail == 0) {
        object = PyType_GenericAlloc(type, 0);
    } else {
        // The classes are not tracked by the cycle collector, so a plain
        // object allocation is all the generic allocator would make.
        object = static_cast<PyObject*>(PyObject_Malloc(static_cast<std::size_t>(type->tp_basicsize) + tail));
        if (!object) return PyErr_NoMemory();
        PyObject_Init(object, type);
    }
    if (!object) return nullptr;
    auto* instance = instance_of<T>(object);
    new (&instance->value) T();
    new (&instance->borrow) BorrowCounter(0);
    return object;
}

// The allocator of every version class. Whatever makes the instance (the
// class's own __new__, object.__new__ behind a replaced __new__, the copy and
// pickle protocols), it comes from here, so no slot ever meets an instance
// whose value was never constructed: a fresh one holds the blank value.
template <class T> PyObject* alloc_slot(PyTypeObject* type, Py_ssize_t) noexcept {
    return alloc_instance<T>(type, 0);
}

// Where a parsed value's block goes: a short one into the tail of the very
// instance that will hold the value, so the instance and its lists take one
// allocation; a long one into its own allocation, so replacing the lists
// later leaves no large dead tail behind.
template <class T> class InstanceTail final : public BlockPlacement {
public:
    explicit InstanceTail(PyTypeObject* type) noexcept : type_(type) {}

    void* place(std::size_t bytes) override {
        if (bytes > max_tail_bytes || object_) return nullptr;
        object_ = PyRef::steal(alloc_instance<T>(type_, bytes));
        if (!object_) throw std::bad_alloc();
        return reinterpret_cast<char*>(object_.get()) + sizeof(Instance<T>);
    }

    // The instance with `value` moved in: the one that holds its block, or a
    // new one. Null with the host's error when allocation fails.
    PyObject* finish(T&& value) noexcept {
        if (!object_) object_ = PyRef::steal(alloc_instance<T>(type_, 0));
        if (!object_) return nullptr;
        instance_of<T>(object_.get())->value = std::move(value);
        return object_.release();
    }

private:
    static constexpr std::size_t max_tail_bytes = 192;

    PyTypeObject* type_;
    PyRef object_;
};

// Allocates an instance of `type` through its allocator and moves `value` in.
// Null with the host's error when allocation fails (`value` stays with the
// caller and is destroyed there).
template <class T> PyObject* new_instance(PyTypeObject* type, T&& value) noexcept {
    using Value = std::remove_cvref_t<T>;
    static_assert(std::is_nothrow_move_assignable_v<Value>);
    PyObject* object = type->tp_alloc(type, 0);
    if (!object) return nullptr;
    instance_of<Value>(object)->value = std::move(value);
    return object;
}

// Destroys what alloc_slot constructed, frees the object and drops the
// instance's reference to its (heap) class.
template <class T> void dealloc_slot(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    auto* instance = instance_of<T>(self);
    instance->value.~T();
    instance->borrow.~BorrowCounter();
    type->tp_free(self);
    Py_DECREF(type);
}

// A deep copy of the value of `object`, an instance holding a T, taken under
// a reader borrow.
template <class T> bool copy_value(PyObject* object, T& out) {
    auto* instance = instance_of<T>(object);
    ReadGuard borrow(instance->borrow);
    if (!borrow.held()) {
        raise(PyExc_RuntimeError, already_mutably_borrowed);
        return false;
    }
    out = instance->value;
    return true;
}

// ---------------------------------------------------------------------------
// Text forms

// The per-thread buffer the text forms are rendered into; empty on return.
std::string& render_buffer() noexcept;
// A str of UTF-8 text, in one walk to measure it and one to write it; text
// that is not valid UTF-8 is decoded with replacement characters.
PyObject* str_from_utf8(std::string_view text) noexcept;
// Makes the str from the buffer and empties it (dropping its storage when a
// huge text made it grow).
PyObject* str_from_render_buffer(std::string& buffer) noexcept;

template <class T, bool Debug> PyObject* render_slot(PyObject* self) noexcept {
    return guarded([&]() -> PyObject* {
        auto* instance = instance_of<T>(self);
        std::string& buffer = render_buffer();
        {
            ReadGuard borrow(instance->borrow);
            if (!borrow.held()) return raise(PyExc_RuntimeError, already_mutably_borrowed);
            if constexpr (Debug) {
                append_debug(buffer, instance->value);
            } else if (text_is_ascii(instance->value)) {
                // Nearly every version is ASCII: its text form is written
                // straight into the new str. A str is not tracked by the
                // cycle collector, so making one runs no Python code.
                const std::size_t size = text_size(instance->value);
                PyObject* text = PyUnicode_New(static_cast<Py_ssize_t>(size), 127);
                if (text) write_text(static_cast<char*>(PyUnicode_DATA(text)), instance->value);
                return text;
            } else {
                append_text(buffer, instance->value);
            }
        }
        return str_from_render_buffer(buffer);
    });
}

// __repr__: the debug form. __str__: the text form.
template <class T> PyObject* repr_slot(PyObject* self) noexcept { return render_slot<T, true>(self); }
template <class T> PyObject* str_slot(PyObject* self) noexcept { return render_slot<T, false>(self); }

// ---------------------------------------------------------------------------
// Rich comparison

// Whether `a op b` holds for one of the six rich comparison operators.
template <class T> bool compares(const T& a, const T& b, int op) noexcept {
    switch (op) {
        case Py_EQ: return a == b;
        case Py_NE: return !(a == b);
        case Py_LT: return (a <=> b) < 0;
        case Py_LE: return (a <=> b) <= 0;
        case Py_GT: return (a <=> b) > 0;
        default: return (a <=> b) >= 0;
    }
}

enum class Comparison { False, True, NotImplemented, Conflict };

template <class T> Comparison compare_values(Instance<T>* left, PyObject* other, PyTypeObject* type, int op) noexcept {
    ReadGuard left_borrow(left->borrow);
    if (!left_borrow.held()) return Comparison::NotImplemented;
    if (op < Py_LT || op > Py_GE || !PyObject_TypeCheck(other, type)) return Comparison::NotImplemented;
    auto* right = instance_of<T>(other);
    ReadGuard right_borrow(right->borrow);
    if (!right_borrow.held()) return Comparison::Conflict;

    return compares(left->value, right->value, op) ? Comparison::True : Comparison::False;
}

// Instances of the same class compare by the model's equality and order;
// anything else is NotImplemented, so Python falls back to its defaults.
// `Class::type()` is the class object.
template <class Class> PyObject* richcompare_slot(PyObject* self, PyObject* other, int op) noexcept {
    using T = typename Class::Value;
    if constexpr (lock_serialises_borrows) {
        // Two instances of the class (sorting makes nothing else): a reader
        // borrow taken and given back around a comparison, which runs no
        // Python code, amounts to finding no writer, so that is all done.
        if (Py_TYPE(self) == Py_TYPE(other) && op >= Py_LT && op <= Py_GE && Py_TYPE(self) == Class::type()) [[likely]] {
            auto* left = instance_of<T>(self);
            auto* right = instance_of<T>(other);
            if (left->borrow.load(std::memory_order_relaxed) >= 0 && right->borrow.load(std::memory_order_relaxed) >= 0) {
                PyObject* answer = compares(left->value, right->value, op) ? Py_True : Py_False;
                Py_INCREF(answer);
                return answer;
            }
        }
    }
    PyTypeObject* type = Class::type();
    if (!type) {
        PyErr_Clear();
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (!PyObject_TypeCheck(self, type)) Py_RETURN_NOTIMPLEMENTED;
    switch (compare_values(instance_of<T>(self), other, type, op)) {
        case Comparison::False: Py_RETURN_FALSE;
        case Comparison::True: Py_RETURN_TRUE;
        case Comparison::NotImplemented: Py_RETURN_NOTIMPLEMENTED;
        case Comparison::Conflict: break;
    }
    return raise(PyExc_RuntimeError, already_mutably_borrowed);
}

// ---------------------------------------------------------------------------
// Properties

// How a property reads and writes its part of a value:
//   using Owner;                               the model type
//   using Snapshot;                            what the getter copies
//   static Snapshot snapshot(const Owner&);
//   static PyObject* to_python(const Snapshot&);
//   using Input;                               what the setter converts to
//   static void store(Owner&, Input&&);
template <class M> struct MemberOf;
template <class C, class F> struct MemberOf<F C::*> {
    using Owner = C;
    using Field = F;
};

// A plain data member, copied out and assigned whole.
template <auto Member> struct MemberField {
    using Owner = typename MemberOf<decltype(Member)>::Owner;
    using Snapshot = typename MemberOf<decltype(Member)>::Field;
    using Input = Snapshot;
    static Snapshot snapshot(const Owner& v) { return v.*Member; }
    static PyObject* to_python(const Snapshot& field) noexcept { return bindings::to_python(field); }
    static void store(Owner& v, Input&& field) noexcept { v.*Member = std::move(field); }
};

// Getter: a copy taken under a reader borrow, then the new Python object
// built from the copy. Building it allocates, which can start a collection
// and run finalizers (Python code that may write to this very instance, or
// let another thread in), so no borrow may be held meanwhile.
template <class Field> PyObject* get_field(PyObject* self, void*) noexcept {
    return guarded([&]() -> PyObject* {
        auto* instance = instance_of<typename Field::Owner>(self);
        std::optional<typename Field::Snapshot> field;
        {
            ReadGuard borrow(instance->borrow);
            if (!borrow.held()) return raise(PyExc_RuntimeError, already_mutably_borrowed);
            field.emplace(Field::snapshot(instance->value));
        }
        return Field::to_python(*field);
    });
}

// Setter: converts the whole new value first, then replaces the field under
// a writer borrow. The closure is the setter's parameter name.
template <class Field> int set_field(PyObject* self, PyObject* value, void* parameter) noexcept {
    if (!value) {
        PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
        return -1;
    }
    return guarded([&]() -> int {
        typename Field::Input converted{};
        if (!from_python(value, converted)) {
            prefix_argument_name(static_cast<const char*>(parameter));
            return -1;
        }
        auto* instance = instance_of<typename Field::Owner>(self);
        WriteGuard borrow(instance->borrow);
        if (!borrow.held()) {
            raise(PyExc_RuntimeError, already_borrowed);
            return -1;
        }
        test_hooks::before_store();
        Field::store(instance->value, std::move(converted));
        return 0;
    });
}

// The field description of a property: a data member pointer, or an object
// of a type that describes the field (see above).
template <auto Member, bool = std::is_member_object_pointer_v<decltype(Member)>> struct FieldFor {
    using type = MemberField<Member>;
};
template <auto Field> struct FieldFor<Field, false> {
    using type = std::remove_cv_t<decltype(Field)>;
};

// A read-write property of `Member` (a data member pointer or a field
// description), named and documented as declared; its closure is the setter
// parameter that conversion errors cite.
template <auto Member> constexpr PyGetSetDef property(const api::Property& declared) noexcept {
    using Field = typename FieldFor<Member>::type;
    return {declared.name, get_field<Field>, set_field<Field>, declared.doc,
            const_cast<char*>(declared.setter_parameter)};
}

template <auto... Members, std::size_t... I>
constexpr std::array<PyGetSetDef, sizeof...(Members) + 1> property_table(std::span<const api::Property> declared,
                                                                         std::index_sequence<I...>) noexcept {
    return {property<Members>(declared[I])..., PyGetSetDef{}};
}

// The property table of a class, null-terminated: field `Members[i]` is
// exposed as `declared[i]`.
template <auto... Members>
constexpr std::array<PyGetSetDef, sizeof...(Members) + 1> property_table(
    std::span<const api::Property, sizeof...(Members)> declared) noexcept {
    return property_table<Members...>(std::span<const api::Property>(declared),
                                      std::make_index_sequence<sizeof...(Members)>{});
}

// ---------------------------------------------------------------------------
// Constructors

// The UTF-8 text of a str (or subclass); its buffer is cached in the str.
std::optional<std::string_view> utf8_of(PyObject* text) noexcept;

// RuntimeError carrying the report of a failed parse.
PyObject* raise_parse_error(const ParseError& error) noexcept;

// TypeError "Cannot construct <class> from type '<type(argument).__name__>'".
// __name__ is read as an attribute, so an error there is raised instead.
PyObject* raise_cannot_construct(std::string_view class_name, PyObject* argument);

// The keyword arguments of one call, each matched by its text to one of the
// names a class accepts. Identity settles the interned names that callers
// nearly always pass; any other str, a subclass with its own hash or
// equality included, is compared by its text, as a Python function binds it.
class Keywords {
public:
    static constexpr std::size_t max_names = 5;

    // Matches every key of `kwargs` to one of `accepted` (at most max_names),
    // holding the values. False with an error set: TypeError "<class>() got
    // multiple values for argument '<name>'" when two keys have one name's
    // text.
    bool match(PyObject* kwargs, std::span<StaticName* const> accepted, std::string_view class_name);
    // The value given for `name`, one of the accepted names (borrowed from
    // this object), or null when none was given.
    PyObject* find(const StaticName& name) const noexcept;
    // ValueError "'<key>' is an invalid keyword argument for <class>()" for
    // the first key, in dictionary order, that is no accepted name.
    bool check(std::string_view class_name) const;

private:
    std::span<StaticName* const> accepted_;
    std::array<PyRef, max_names> values_;
    PyRef unexpected_;
};

// Converts keyword `name` into `out`; a missing one raises `missing_type`
// with `missing_message`. Conversion errors are raised unchanged.
template <class T>
bool required_keyword(const Keywords& kwargs, const StaticName& name, T& out, PyObject* missing_type,
                      const char* missing_message) {
    PyObject* value = kwargs.find(name);
    if (!value) {
        raise(missing_type, missing_message);
        return false;
    }
    return from_python(value, out);
}

// Converts keyword `name` into `out`; missing or None leaves it absent.
bool optional_keyword(const Keywords& kwargs, const StaticName& name, std::optional<TextList>& out);

// What a kind class (SemVer, DotSeparated, Other) supplies to kind_new:
//   using Value;                                   the model type
//   static constexpr std::string_view name;        the class name
//   static PyTypeObject* type();                   its class object
//   static bool from_keywords(const Keywords& kwargs, Value& out);
//   static std::span<StaticName* const> keywords(); the accepted keywords
template <class Class>
bool kind_from_argument(PyObject* argument, typename Class::Value& out, BlockPlacement& placement) {
    using Value = typename Class::Value;
    if (PyUnicode_Check(argument)) {
        const std::optional<std::string_view> text = utf8_of(argument);
        if (!text) return false;
        if (const auto error = parse_into(*text, out, &placement)) [[unlikely]] {
            raise_parse_error(*error);
            return false;
        }
        return true;
    }
    PyTypeObject* own_type = Class::type();
    if (!own_type) return false;
    if (PyObject_TypeCheck(argument, own_type)) return copy_value(argument, out);
    PyTypeObject* any_version = version_type();
    if (!any_version) return false;
    if (PyObject_TypeCheck(argument, any_version)) {
        auto* instance = instance_of<vorna::Version>(argument);
        std::string message = "Expected ";
        {
            ReadGuard borrow(instance->borrow);
            if (!borrow.held()) {
                raise(PyExc_RuntimeError, already_mutably_borrowed);
                return false;
            }
            if (const Value* inner = instance->value.get_if<Value>()) {
                out = *inner;
                return true;
            }
            message.append(Class::name);
            message.append("; found ");
            append_debug(message, instance->value);
        }
        raise(PyExc_TypeError, message);
        return false;
    }
    raise_cannot_construct(Class::name, argument);
    return false;
}

// __new__(cls, *args, **kwargs) of a kind class. Any keyword dictionary, even
// an empty one, selects the keyword form.
template <class Class> PyObject* kind_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        using Value = typename Class::Value;
        const Py_ssize_t count = PyTuple_GET_SIZE(args);
        Value value;
        InstanceTail<Value> instance(type);
        if (kwargs && kwargs != Py_None) {
            if (count != 0) return raise(PyExc_TypeError, "Constructor expects *args or **kwargs, but not both");
            if (!PyDict_Check(kwargs)) return raise(PyExc_TypeError, "keyword arguments must be a dict");
            Keywords keywords;
            if (!keywords.match(kwargs, Class::keywords(), Class::name)) return nullptr;
            if (!Class::from_keywords(keywords, value) || !keywords.check(Class::name)) return nullptr;
        } else if (count == 0) {
            return raise(PyExc_ValueError, std::string(Class::name) + "() requires arguments");
        } else if (count > 1) {
            return raise(PyExc_NotImplementedError,
                         std::string(Class::name) + "() with more than one positional argument is not yet implemented");
        } else if (!kind_from_argument<Class>(PyTuple_GET_ITEM(args, 0), value, instance)) {
            return nullptr;
        }
        return instance.finish(std::move(value));
    });
}

// The class object of a kind class, made from its traits: those kind_new
// reads, and
//   static constexpr const char* full_name;   "builtins." + the class name
//   static constexpr const char* doc;         the docstring, signature first
//   static inline std::array<PyGetSetDef, N> properties;  from property_table
template <class Class> class KindClassObject {
public:
    // Borrowed reference, or null with an error set.
    static PyTypeObject* get() noexcept { return cache.get(); }
    static const PyType_Spec& type_description() noexcept { return type_spec; }

private:
    using Value = typename Class::Value;
    static inline PyType_Slot slots[] = {
        {Py_tp_alloc, reinterpret_cast<void*>(alloc_slot<Value>)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_slot<Value>)},
        {Py_tp_new, reinterpret_cast<void*>(kind_new<Class>)},
        {Py_tp_repr, reinterpret_cast<void*>(repr_slot<Value>)},
        {Py_tp_str, reinterpret_cast<void*>(str_slot<Value>)},
        {Py_tp_richcompare, reinterpret_cast<void*>(richcompare_slot<Class>)},
        {Py_tp_getset, Class::properties.data()},
        {Py_tp_doc, const_cast<char*>(Class::doc)},
        {0, nullptr},
    };
    static inline PyType_Spec type_spec = {Class::full_name, sizeof(Instance<Value>), 0, Py_TPFLAGS_DEFAULT, slots};
    static inline TypeCache cache{type_spec};
};

}  // namespace vorna::bindings
