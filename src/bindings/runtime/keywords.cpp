#include "bindings/runtime/keywords.hpp"

#include <string>

#include "core/platform/fault.hpp"

namespace vorna::bindings {

bool optional_keyword(const Keywords& kwargs, const StaticName& name, std::optional<TextList>& out) {
    PyObject* value = kwargs.find(name);
    if (!value) {
        out.reset();
        return true;
    }
    return from_python(value, out);
}

namespace {

// The index in `accepted` of the name that `key` is, if any.
std::optional<std::size_t> accepted_index(PyObject* key, std::span<StaticName* const> accepted) noexcept {
    for (std::size_t i = 0; i < accepted.size(); ++i) {
        if (key == accepted[i]->get()) return i;
    }
    if (!PyUnicode_Check(key)) return std::nullopt;
    // The text itself, whatever __eq__ and __hash__ a subclass gives it.
    for (std::size_t i = 0; i < accepted.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(key, accepted[i]->text()) == 0) return i;
    }
    return std::nullopt;
}

}  // namespace

bool Keywords::match(PyObject* kwargs, std::span<StaticName* const> accepted, std::string_view class_name) {
    if (accepted.size() > max_names) internal_fault("a class accepts more keywords than a call can hold");
    accepted_ = accepted;
    // Made before the walk: making a name allocates, which may run code.
    for (StaticName* name : accepted) {
        if (!name->get()) return false;
    }
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
        const std::optional<std::size_t> index = accepted_index(key, accepted);
        if (!index) {
            if (!unexpected_) unexpected_ = PyRef::borrow(key);
            continue;
        }
        if (values_[*index]) {
            const std::string message = std::string(class_name) + "() got multiple values for argument '" +
                                        accepted[*index]->text() + "'";
            raise(PyExc_TypeError, message);
            return false;
        }
        values_[*index] = PyRef::borrow(value);
    }
    return true;
}

PyObject* Keywords::find(const StaticName& name) const noexcept {
    for (std::size_t i = 0; i < accepted_.size(); ++i) {
        if (accepted_[i] == &name) return values_[i].get();
    }
    return nullptr;
}

bool Keywords::check(std::string_view class_name) const {
    if (!unexpected_) return true;
    // A str key is quoted as it stands; any other key by its str(), which
    // may run its code.
    const std::string name(class_name);
    PyRef message = PyRef::steal(PyUnicode_FromFormat(PyUnicode_Check(unexpected_.get())
                                                          ? "'%U' is an invalid keyword argument for %s()"
                                                          : "'%S' is an invalid keyword argument for %s()",
                                                      unexpected_.get(), name.c_str()));
    if (message) PyErr_SetObject(PyExc_ValueError, message.get());
    return false;
}

}  // namespace vorna::bindings
