#include "bindings/runtime/strings.hpp"

#include <algorithm>
#include <span>

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
    PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(count), widest);
    if (!str) return nullptr;
    // The other walk writes, in the str's own width, through a sink that
    // holds the str's end: the two walks cannot disagree unnoticed.
    const auto write = [&]<class Unit>(Unit* data) noexcept {
        UnitSink<Unit> sink(std::span<Unit>(data, count), widest);
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
