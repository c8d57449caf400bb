#include "bindings/runtime/strings.hpp"

#include <algorithm>
#include <span>

#include "bindings/runtime/test_hooks.hpp"
#include "core/platform/fault.hpp"
#include "core/platform/thread.hpp"
#include "core/report/unit_sink.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna::bindings {

namespace {

// Beyond this the render buffer gives its storage back after use, so one
// huge text does not pin memory for the life of the thread.
constexpr std::size_t kept_render_capacity = 64 * 1024;

// Its own type, so that it has a thread slot of its own.
struct RenderBuffer {
    std::string text;
};

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
        if (utf8::is_malformed(d)) [[unlikely]] {
            return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
        }
        widest = std::max(widest, d.scalar);
        ++count;
        pos += d.length;
    }
    if (widest < 0x80) widest = 0x7F;  // all of ASCII takes one width
    test_hooks::after_str_measure(count);
    PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(count), widest);
    if (!str) return nullptr;
    // The other walk writes, in the str's own width, through a sink that
    // holds the end of the str as the str gives it: the two walks cannot
    // disagree unnoticed.
    const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
    const auto write = [&]<class Unit>(Unit* data) noexcept {
        UnitSink<Unit> sink(std::span<Unit>(data, length), widest);
        sink.utf8(text);
        sink.finish();
    };
    switch (PyUnicode_KIND(str)) {
        case PyUnicode_1BYTE_KIND: write(PyUnicode_1BYTE_DATA(str)); break;
        case PyUnicode_2BYTE_KIND: write(PyUnicode_2BYTE_DATA(str)); break;
        default: write(PyUnicode_4BYTE_DATA(str)); break;
    }
    return str;
}

PyObject* new_ascii_str(std::size_t length) noexcept {
    test_hooks::after_str_measure(length);
    return PyUnicode_New(static_cast<Py_ssize_t>(length), 127);
}

std::span<char> ascii_storage(PyObject* str) noexcept {
    if (PyUnicode_KIND(str) != PyUnicode_1BYTE_KIND) [[unlikely]] internal_fault("an ASCII text form into a wide str");
    return {static_cast<char*>(PyUnicode_DATA(str)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(str))};
}

std::string& render_buffer() {
    std::string& buffer = platform::this_thread_object<RenderBuffer>().text;
    buffer.clear();
    return buffer;
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

std::optional<std::string_view> utf8_of_wide(PyObject* text) noexcept {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (!data) return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(size));
}

}  // namespace vorna::bindings
