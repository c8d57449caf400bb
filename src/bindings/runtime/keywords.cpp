#include "bindings/runtime/keywords.hpp"

#include <string>

namespace vorna::bindings {

bool find_keyword(PyObject* kwargs, StaticName& name, PyRef& out) noexcept {
    PyObject* key = name.get();
    if (!key) return false;
    // The dictionary lends the value; hold it, since converting it may run
    // code that changes the dictionary.
    out = PyRef::borrow(PyDict_GetItemWithError(kwargs, key));
    return out || !PyErr_Occurred();
}

bool optional_keyword(PyObject* kwargs, StaticName& name, std::optional<TextList>& out) {
    PyRef value;
    if (!find_keyword(kwargs, name, value)) return false;
    if (!value) {
        out.reset();
        return true;
    }
    return from_python(value.get(), out);
}

namespace {

// Keyword names in a call are nearly always the interned names themselves,
// so identity settles them; an equal str made some other way is compared by
// its text.
bool is_accepted(PyObject* key, std::span<StaticName* const> accepted) noexcept {
    for (StaticName* name : accepted) {
        if (key == name->get()) return true;
    }
    if (!PyUnicode_Check(key)) return false;
    for (StaticName* name : accepted) {
        if (PyUnicode_CompareWithASCIIString(key, name->text()) == 0) return true;
    }
    return false;
}

}  // namespace

bool check_keywords(PyObject* kwargs, std::span<StaticName* const> accepted, std::string_view class_name) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
        if (is_accepted(key, accepted)) continue;
        // A str key is quoted as it stands; rendering any other key may run
        // its __str__, so keep it alive meanwhile.
        PyRef held = PyRef::borrow(key);
        const std::string name(class_name);
        PyRef message = PyRef::steal(PyUnicode_FromFormat(PyUnicode_Check(key)
                                                              ? "'%U' is an invalid keyword argument for %s()"
                                                              : "'%S' is an invalid keyword argument for %s()",
                                                          held.get(), name.c_str()));
        if (message) PyErr_SetObject(PyExc_ValueError, message.get());
        return false;
    }
    return true;
}

}  // namespace vorna::bindings
