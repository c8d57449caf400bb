// A str made once on first use and kept for the process (attribute and
// keyword names). A failed creation (out of memory) stores nothing, so the
// next use tries again. Accessed only with the interpreter lock held.
#pragma once

#include <Python.h>

namespace vorna::bindings {

class StaticName {
public:
    explicit constexpr StaticName(const char* text) noexcept : text_(text) {}
    // Borrowed reference, or null with an error set.
    PyObject* get() noexcept {
        if (!object_) object_ = PyUnicode_InternFromString(text_);
        return object_;
    }
    const char* text() const noexcept { return text_; }

private:
    const char* text_;
    PyObject* object_ = nullptr;
};

}  // namespace vorna::bindings
