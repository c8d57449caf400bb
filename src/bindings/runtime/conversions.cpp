#include "bindings/runtime/conversions.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"

namespace vorna::bindings {

namespace {

// A sequence's length is only a hint; a hostile __len__ must not make us
// reserve gigabytes up front. Longer sequences simply grow the vector.
constexpr Py_ssize_t max_reserved_parts = 4096;

bool append_part(PyObject* item, TextList& parts) {
    Text text;
    if (!from_python(item, text)) return false;
    parts.push_back(std::move(text));
    return true;
}

// Lists and tuples are walked in place: converting an item runs no Python
// code, so the sequence cannot change under the walk.
bool collect_fast(PyObject* sequence, TextList& parts) {
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(sequence);
    PyObject** items = PySequence_Fast_ITEMS(sequence);
    parts.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        if (!append_part(items[i], parts)) return false;
    }
    return true;
}

bool collect_iterated(PyObject* sequence, TextList& parts) {
    if (const Py_ssize_t hint = PySequence_Size(sequence); hint >= 0) {
        parts.reserve(static_cast<std::size_t>(std::min(hint, max_reserved_parts)));
    } else {
        PyErr_Clear();
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(sequence));
    if (!iterator) return false;
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        if (!append_part(item.get(), parts)) return false;
    }
    return !PyErr_Occurred();
}

}  // namespace

bool from_python(PyObject* object, std::uint32_t& out) {
    PyRef index;
    if (!PyLong_Check(object)) {
        index = PyRef::steal(PyNumber_Index(object));
        if (!index) return false;
        object = index.get();
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(object);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    if (value > std::numeric_limits<std::uint32_t>::max()) {
        raise(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

bool from_python(PyObject* object, Text& out) {
    if (!PyUnicode_Check(object)) {
        PyErr_Format(PyExc_TypeError, "expected str, not '%.200s'", Py_TYPE(object)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(object, &size);
    if (!data) return false;
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

bool from_python(PyObject* object, TextList& out) {
    if (PyUnicode_Check(object)) {
        raise(PyExc_TypeError, "expected a sequence of str, not a str");
        return false;
    }
    if (!PySequence_Check(object)) {
        PyErr_Format(PyExc_TypeError, "expected a sequence of str, not '%.200s'", Py_TYPE(object)->tp_name);
        return false;
    }
    TextList parts;
    const bool fast = PyList_CheckExact(object) || PyTuple_CheckExact(object);
    if (!(fast ? collect_fast(object, parts) : collect_iterated(object, parts))) return false;
    out = std::move(parts);
    return true;
}

bool from_python(PyObject* object, std::optional<TextList>& out) {
    if (object == Py_None) {
        out.reset();
        return true;
    }
    TextList parts;
    if (!from_python(object, parts)) return false;
    out = std::move(parts);
    return true;
}

PyObject* to_python(std::uint32_t value) { return PyLong_FromUnsignedLong(value); }

PyObject* to_python(std::string_view value) {
    return PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), nullptr);
}

PyObject* to_python(const ListView& value) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(value.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < value.size(); ++i) {
        PyObject* item = to_python(value[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // steals
    }
    return list.release();
}

PyObject* to_python(const std::optional<ListView>& value) {
    if (!value) Py_RETURN_NONE;
    return to_python(*value);
}

void prefix_argument_name(const char* parameter) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef first_type = PyRef::steal(type);
    PyRef first = PyRef::steal(value);
    PyRef first_traceback = PyRef::steal(traceback);

    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %S", parameter, first.get()));
    if (!message) return;
    PyRef error = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!error) return;
    if (PyObject* cause = PyException_GetCause(first.get())) {
        PyException_SetCause(error.get(), cause);  // steals
    }
    PyErr_SetObject(PyExc_TypeError, error.get());
}

}  // namespace vorna::bindings
