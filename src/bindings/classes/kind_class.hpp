// The three kind classes (SemVer, DotSeparated, Other): what each supplies,
// the constructor they share and the class object made from them.
#pragma once

#include <Python.h>

#include <concepts>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bindings/classes/classes.hpp"
#include "bindings/classes/comparison.hpp"
#include "bindings/classes/construction_errors.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/classes/instance.hpp"
#include "bindings/runtime/keywords.hpp"
#include "bindings/classes/properties.hpp"
#include "bindings/runtime/static_name.hpp"
#include "bindings/runtime/strings.hpp"
#include "bindings/classes/text_slots.hpp"
#include "bindings/classes/type_cache.hpp"
#include "core/parse/parse.hpp"

namespace vorna::bindings {

// What a kind class supplies: its class object and model type (ClassObject);
// its name; its fields taken from keywords and the keywords it accepts; and,
// for its class object, the full name, the docstring (signature first) and
// the property table.
template <class C>
concept KindClass = ClassObject<C> && requires(const Keywords& keywords, typename C::Value& out) {
    { C::name } -> std::convertible_to<std::string_view>;
    { C::from_keywords(keywords, out) } -> std::same_as<bool>;
    { C::keywords() } -> std::convertible_to<std::span<StaticName* const>>;
    { C::full_name } -> std::convertible_to<const char*>;
    { C::doc } -> std::convertible_to<const char*>;
    { C::getset.data() } -> std::same_as<PyGetSetDef*>;
};

// A new instance of `type` holding the value parsed from the str `text`,
// built in place once the match is known (see InstanceSite); null with an
// error set, the parse report raised as RuntimeError, otherwise. Every version
// class builds from text this way.
template <class T> PyObject* instance_from_text(PyTypeObject* type, PyObject* text) {
    const std::optional<std::string_view> utf8 = utf8_of(text);
    if (!utf8) return nullptr;
    InstanceSite<T> instance(type);
    // A str's UTF-8 is followed by a NUL, which the quick scan leans on.
    if (const auto failure = parse_at<T, true>(*utf8, instance)) [[unlikely]] return raise_parse_error(*failure);
    return instance.release();
}

// Fills `out` from the one positional argument when it is not a str: an
// instance of the class or a Version of its kind is copied. False with an
// error set otherwise.
template <KindClass Class> bool kind_from_instance(PyObject* argument, typename Class::Value& out) {
    using Value = typename Class::Value;
    PyTypeObject* own_type = Class::type();
    if (!own_type) return false;
    if (PyObject_TypeCheck(argument, own_type)) return copy_value(argument, out);
    PyTypeObject* any_version = version_type();
    if (!any_version) return false;
    if (!PyObject_TypeCheck(argument, any_version)) {
        raise_cannot_construct(Class::name, argument);
        return false;
    }
    // A Version of another kind is refused with its debug form, taken under
    // the same borrow as the copy.
    std::string refusal;
    auto* instance = instance_of<vorna::Version>(argument);
    if (!with_borrow<ReadBorrow>(instance->borrow, [&] {
            if (const Value* inner = instance->value.get().template get_if<Value>()) {
                out = *inner;
                return;
            }
            refusal.append("Expected ").append(Class::name).append("; found ");
            append_debug(refusal, instance->value.get());
        })) {
        return false;
    }
    if (refusal.empty()) return true;
    raise(PyExc_TypeError, refusal);
    return false;
}

// __new__(cls, *args, **kwargs) of a kind class. Any keyword dictionary, even
// an empty one, selects the keyword form.
template <KindClass Class> PyObject* kind_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        using Value = typename Class::Value;
        const Py_ssize_t count = PyTuple_GET_SIZE(args);
        const bool keyword_form = kwargs && kwargs != Py_None;
        // The common call, one str: built straight into the instance, with no
        // blank value made and destroyed beside it.
        if (!keyword_form && count == 1 && PyUnicode_Check(PyTuple_GET_ITEM(args, 0))) [[likely]] {
            return instance_from_text<Value>(type, PyTuple_GET_ITEM(args, 0));
        }
        Value value;
        if (keyword_form) {
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
        } else if (!kind_from_instance<Class>(PyTuple_GET_ITEM(args, 0), value)) {
            return nullptr;
        }
        return new_instance(type, std::move(value));
    });
}

// The class object of a kind class, made from what the class supplies.
template <KindClass Class> class KindClassObject {
public:
    // Borrowed reference, or null with an error set.
    static PyTypeObject* get() { return cache.get(); }
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
        {Py_tp_getset, Class::getset.data()},
        {Py_tp_doc, const_cast<char*>(Class::doc)},
        {0, nullptr},
    };
    static inline PyType_Spec type_spec = {Class::full_name, sizeof(Instance<Value>), 0, Py_TPFLAGS_DEFAULT, slots};
    static inline TypeCache cache{type_spec};
};

}  // namespace vorna::bindings
