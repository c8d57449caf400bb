// __str__ and __repr__ of the version classes: the text form and the debug
// form of the value, made into a str.
#pragma once

#include <Python.h>

#include <string>

#include "bindings/runtime/borrow.hpp"
#include "bindings/runtime/errors.hpp"
#include "bindings/classes/instance.hpp"
#include "bindings/runtime/strings.hpp"
#include "core/model/version.hpp"

namespace vorna::bindings {

template <class T, bool Debug> PyObject* render_slot(PyObject* self) noexcept {
    return guarded([&]() -> PyObject* {
        auto* instance = instance_of<T>(self);
        std::string* buffer = nullptr;
        PyObject* ascii_text = nullptr;
        const bool rendered = with_borrow<ReadBorrow>(instance->borrow, [&] {
            if constexpr (!Debug) {
                // Nearly every version is ASCII: its text form is counted,
                // then written straight into a new str of that length
                // through a writer bounded by the str's own length. A str is
                // not tracked by the cycle collector, so making one runs no
                // Python code.
                TextCount count;
                put_text(count, instance->value.get());
                if (count.is_ascii_text()) [[likely]] {
                    ascii_text = new_ascii_str(count.size());
                    if (ascii_text) {
                        CharWriter out(ascii_storage(ascii_text));
                        put_text(out, instance->value.get());
                        out.finish();
                    }
                    return;
                }
            }
            buffer = &render_buffer();
            if constexpr (Debug) {
                append_debug(*buffer, instance->value.get());
            } else {
                append_text(*buffer, instance->value.get());
            }
        });
        if (!rendered) return nullptr;
        if (!buffer) return ascii_text;
        return str_from_render_buffer(*buffer);
    });
}

// __repr__: the debug form. __str__: the text form.
template <class T> PyObject* repr_slot(PyObject* self) noexcept { return render_slot<T, true>(self); }
template <class T> PyObject* str_slot(PyObject* self) noexcept { return render_slot<T, false>(self); }

}  // namespace vorna::bindings
