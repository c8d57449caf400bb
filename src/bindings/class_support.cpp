#include "bindings/class_support.hpp"

#include <algorithm>
#include <cstring>

#include "core/utf8.hpp"

namespace vorna::bindings {

namespace {

// Beyond this the render buffer gives its storage back after use, so one
// huge text does not pin memory for the life of the thread.
constexpr std::size_t kept_render_capacity = 64 * 1024;

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

PyTypeObject* TypeCache::create() noexcept {
    PyRef made = PyRef::steal(PyType_FromSpec(&type_spec_));
    if (!made) return nullptr;
    auto* type = reinterpret_cast<PyTypeObject*>(made.get());
    if (!keep_text_signature(type, doc_of(type_spec_))) return nullptr;
    type->tp_vectorcall = vectorcall_;
    // Creation can run a collection and with it Python code that lets another
    // thread in; whichever class object is stored first is the one.
    PyTypeObject* stored = nullptr;
    if (type_.compare_exchange_strong(stored, type, std::memory_order_acq_rel)) {
        static_cast<void>(made.release());  // the cache keeps this reference for the process
        return type;
    }
    return stored;
}

std::string& render_buffer() noexcept {
    thread_local std::string buffer;
    buffer.clear();
    return buffer;
}

namespace {

// Writes the characters of `text`, valid UTF-8, as code units of one width.
template <class Unit> void widen(std::string_view text, Unit* out) noexcept {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t pos = 0; pos < text.size();) {
        // ASCII is checked and copied in blocks of 32 bytes, in one walk.
        while (text.size() - pos >= 32) {
            std::uint64_t words[4];
            std::memcpy(words, data + pos, sizeof words);
            if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull) != 0) break;
            for (std::size_t i = 0; i < 32; ++i) out[i] = static_cast<Unit>(data[pos + i]);
            out += 32;
            pos += 32;
        }
        for (; pos < text.size() && data[pos] < 0x80; ++pos) *out++ = static_cast<Unit>(data[pos]);
        if (pos == text.size()) break;
        const utf8::Decoded d = utf8::decode(text, pos);
        *out++ = static_cast<Unit>(d.scalar);
        pos += d.length;
    }
}

}  // namespace

PyObject* str_from_utf8(std::string_view text) noexcept {
    // The host's decoder is quicker on short texts; on long ones, which are
    // mostly ASCII, two plain walks are.
    if (text.size() < 4096) return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    // One walk measures: the count of characters and the widest of them.
    std::size_t count = 0;
    char32_t widest = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t run = utf8::skip_ascii(text, pos, text.size());
        count += run - pos;
        pos = run;
        if (pos == text.size()) break;
        const utf8::Decoded d = utf8::decode(text, pos);
        if (d.scalar == utf8::replacement && d.length == 1) [[unlikely]] {
            return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
        }
        widest = std::max(widest, d.scalar);
        ++count;
        pos += d.length;
    }
    PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(count), widest < 0x80 ? 0x7F : widest);
    if (!str) return nullptr;
    // The other walk writes, in the str's own width.
    switch (PyUnicode_KIND(str)) {
        case PyUnicode_1BYTE_KIND:
            if (widest < 0x80) {
                std::memcpy(PyUnicode_DATA(str), text.data(), text.size());
            } else {
                widen(text, PyUnicode_1BYTE_DATA(str));
            }
            break;
        case PyUnicode_2BYTE_KIND: widen(text, PyUnicode_2BYTE_DATA(str)); break;
        default: widen(text, PyUnicode_4BYTE_DATA(str)); break;
    }
    return str;
}

PyObject* str_from_render_buffer(std::string& buffer) noexcept {
    PyObject* text = str_from_utf8(buffer);
    if (buffer.capacity() > kept_render_capacity) {
        std::string().swap(buffer);
    } else {
        buffer.clear();
    }
    return text;
}

std::optional<std::string_view> utf8_of(PyObject* text) noexcept {
    // An ASCII str is its own UTF-8.
    if (PyUnicode_IS_COMPACT_ASCII(text)) [[likely]] {
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(text)),
                                static_cast<std::size_t>(PyUnicode_GET_LENGTH(text)));
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (!data) return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(size));
}

PyObject* raise_parse_error(const ParseError& error) noexcept {
    return guarded([&]() -> PyObject* {
        // The report is decoded once, where it lies; only a captured trace
        // makes a longer text to build.
        std::string with_trace;
        std::string_view message = error.message();
        if (!error.backtrace().empty()) message = with_trace = error.debug_form();
        PyRef text = PyRef::steal(str_from_utf8(message));
        if (text) PyErr_SetObject(PyExc_RuntimeError, text.get());
        return nullptr;
    });
}

PyObject* raise_cannot_construct(std::string_view class_name, PyObject* argument) {
    static StaticName dunder_name("__name__");
    PyObject* key = dunder_name.get();
    if (!key) return nullptr;
    PyRef type_name = PyRef::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(argument)), key));
    if (!type_name) return nullptr;
    const std::string name(class_name);
    PyRef message =
        PyRef::steal(PyUnicode_FromFormat("Cannot construct %s from type '%S'", name.c_str(), type_name.get()));
    if (message) PyErr_SetObject(PyExc_TypeError, message.get());
    return nullptr;
}

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
