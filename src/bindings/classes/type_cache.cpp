#include "bindings/classes/type_cache.hpp"

#include <cstring>

#include "bindings/runtime/py_ref.hpp"

namespace vorna::bindings {

namespace {

const char* doc_of(const PyType_Spec& type_spec) noexcept {
    for (const PyType_Slot* slot = type_spec.slots; slot->slot != 0; ++slot) {
        if (slot->slot == Py_tp_doc) return static_cast<const char*>(slot->pfunc);
    }
    return nullptr;
}

// Before 3.10 a heap type keeps its docstring without the signature header,
// which loses __text_signature__. Put the full docstring back; __doc__ was
// already set from the trimmed one. The type frees tp_doc with
// PyObject_Free, so the copy is made with PyObject_Malloc.
bool keep_text_signature([[maybe_unused]] PyTypeObject* type, [[maybe_unused]] const char* doc) noexcept {
#if PY_VERSION_HEX < 0x030A0000
    if (!doc) return true;
    const std::size_t size = std::strlen(doc) + 1;
    auto* copy = static_cast<char*>(PyObject_Malloc(size));
    if (!copy) {
        PyErr_NoMemory();
        return false;
    }
    std::memcpy(copy, doc, size);
    PyObject_Free(const_cast<char*>(type->tp_doc));
    type->tp_doc = copy;
#endif
    return true;
}

}  // namespace

PyRef TypeCache::create() {
    PyRef made = PyRef::steal(PyType_FromSpec(&type_spec_));
    if (!made) return made;
    auto* type = reinterpret_cast<PyTypeObject*>(made.get());
    if (!keep_text_signature(type, doc_of(type_spec_))) return {};
    type->tp_vectorcall = vectorcall_;
    return made;
}

}  // namespace vorna::bindings
