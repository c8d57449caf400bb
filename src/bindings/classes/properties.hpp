// The read-write properties of the version classes. Each property is
// declared together with the field it reads and writes, so the table of a
// class cannot pair a name with another property's field.
//
// A worked example, from the SemVer and DotSeparated classes. A data member
// needs only its pointer; anything else is a field type that says how to
// copy it out (under the reader borrow), turn the copy into a Python object
// (after the borrow is given back) and store a converted input (under the
// writer borrow):
//
//   // SemVer: the member `major`.
//   property<&vorna::SemVer::major>({.name = "major", .doc = "...", .type = "int",
//                                    .setter_parameter = "new_major", .setter_type = "int"})
//
//   // DotSeparated: the parts, read and written through accessors.
//   struct PartsField {
//       using Owner = vorna::DotSeparated;
//       using Snapshot = vorna::DotSeparated;  // a copy that owns its list
//       using Input = TextList;                // what from_python converts to
//       static Snapshot snapshot(const Owner& v) { return v; }
//       static PyObject* to_python(const Snapshot& v) { return bindings::to_python(v.parts()); }
//       static void store(Owner& v, Input&& parts) { v.set_parts(parts); }
//   };
//   static constexpr PropertyTable properties{
//       property<PartsField>({.name = "parts", .doc = "...", .type = "list[str]",
//                             .setter_parameter = "new_parts", .setter_type = "_SequenceOfStr"}),
//   };
//   static inline auto getset = properties.getset();  // the class's tp_getset
//
// `properties.declared` feeds the API records and the stub, `getset` the
// class object. A conversion error names the setter parameter:
// "argument 'new_parts': ...".
#pragma once

#include <Python.h>

#include <array>
#include <concepts>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <utility>

#include "bindings/api.hpp"
#include "bindings/runtime/borrow.hpp"
#include "bindings/runtime/conversions.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/test_hooks.hpp"
#include "bindings/classes/instance.hpp"

namespace vorna::bindings {

// How a property reads and writes its part of a model value: the getter
// copies a Snapshot out of the Owner and converts it, the setter converts the
// new value into an Input and stores it.
template <class F>
concept PropertyField = requires(const typename F::Owner& owner, typename F::Owner& target,
                                 const typename F::Snapshot& snapshot, typename F::Input&& input) {
    { F::snapshot(owner) } -> std::convertible_to<typename F::Snapshot>;
    { F::to_python(snapshot) } -> std::same_as<PyObject*>;
    F::store(target, std::move(input));
    requires std::default_initializable<typename F::Input>;
};

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
    static PyObject* to_python(const Snapshot& field) { return bindings::to_python(field); }
    static void store(Owner& v, Input&& field) noexcept { v.*Member = std::move(field); }
};

// Getter: a copy taken under a reader borrow, then the new Python object
// built from the copy. Building it allocates, which can start a collection
// and run finalizers (Python code that may write to this very instance, or
// let another thread in), so no borrow may be held meanwhile.
template <PropertyField Field> PyObject* get_field(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        auto* instance = instance_of<typename Field::Owner>(self);
        std::optional<typename Field::Snapshot> field;
        if (!with_borrow<ReadBorrow>(instance->borrow, [&] { field.emplace(Field::snapshot(instance->value.get())); })) {
            return nullptr;
        }
        return Field::to_python(*field);
    });
}

// Setter: converts the whole new value first, then replaces the field under
// a writer borrow. The closure is the setter's parameter name.
template <PropertyField Field> int set_field(PyObject* self, PyObject* value, void* parameter) {
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
        return with_borrow<WriteBorrow>(instance->borrow,
                                        [&] {
                                            test_hooks::before_store();
                                            Field::store(instance->value.get(), std::move(converted));
                                        })
                   ? 0
                   : -1;
    });
}

// One property: its declaration, and through its type the field it exposes.
template <PropertyField Field> struct Property {
    api::Property declared;
};

// A property of a data member pointer or of a field description type.
template <auto Member>
    requires std::is_member_object_pointer_v<decltype(Member)>
constexpr Property<MemberField<Member>> property(const api::Property& declared) noexcept {
    return {declared};
}
template <PropertyField Field> constexpr Property<Field> property(const api::Property& declared) noexcept {
    return {declared};
}

// The properties of a class in order: their declarations (for the API
// records) and their table (for the class object).
template <PropertyField... Fields> class PropertyTable {
public:
    static constexpr std::size_t size = sizeof...(Fields);

    constexpr explicit PropertyTable(const Property<Fields>&... properties) noexcept
        : declared{properties.declared...} {}

    std::array<api::Property, size> declared;

    // The null-terminated PyGetSetDef table; its closure is the setter
    // parameter that conversion errors cite.
    constexpr std::array<PyGetSetDef, size + 1> getset() const noexcept {
        return getset(std::index_sequence_for<Fields...>{});
    }

private:
    template <std::size_t... I>
    constexpr std::array<PyGetSetDef, size + 1> getset(std::index_sequence<I...>) const noexcept {
        return {PyGetSetDef{declared[I].name, get_field<Fields>, set_field<Fields>, declared[I].doc,
                            const_cast<char*>(declared[I].setter_parameter)}...,
                PyGetSetDef{}};
    }
};

}  // namespace vorna::bindings
