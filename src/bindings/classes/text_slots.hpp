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
        std::string& buffer = render_buffer();
        PyObject* ascii_text = nullptr;
        bool ascii = false;
        const bool rendered = with_borrow<ReadBorrow>(instance->borrow, [&] {
            if constexpr (Debug) {
                append_debug(buffer, instance->value);
            } else if (text_is_ascii(instance->value)) {
                // Nearly every version is ASCII: its text form is written
                // straight into the new str. A str is not tracked by the
                // cycle collector, so making one runs no Python code.
                ascii = true;
                const std::size_t size = text_size(instance->value);
                ascii_text = PyUnicode_New(static_cast<Py_ssize_t>(size), 127);
                if (ascii_text) write_text(static_cast<char*>(PyUnicode_DATA(ascii_text)), instance->value);
            } else {
                append_text(buffer, instance->value);
            }
        });
        if (!rendered) return nullptr;
        if (ascii) return ascii_text;
        return str_from_render_buffer(buffer);
    });
}

// __repr__: the debug form. __str__: the text form.
template <class T> PyObject* repr_slot(PyObject* self) noexcept { return render_slot<T, true>(self); }
template <class T> PyObject* str_slot(PyObject* self) noexcept { return render_slot<T, false>(self); }

}  // namespace vorna::bindings
