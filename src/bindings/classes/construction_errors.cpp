#include "bindings/classes/construction_errors.hpp"

#include <array>
#include <cstdint>
#include <string>

#include "bindings/runtime/errors.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/static_name.hpp"
#include "bindings/runtime/strings.hpp"
#include "bindings/runtime/test_hooks.hpp"
#include "core/report/unit_sink.hpp"

namespace vorna::bindings {

PyObject* raise_parse_error(const ParseFailure& failure) {
    return guarded([&]() -> PyObject* {
        test_hooks::before_report();
        // The report is drawn once into scratch on the stack while measured,
        // then copied into a str of its final length and width, through a
        // sink that knows the str's end. A report too long for the scratch,
        // or with a character past 16 bits, is drawn again into its str.
        const ReportLayout layout = failure.layout();
        std::array<std::uint16_t, 2048> scratch;
        DraftSink draft(scratch);
        layout.draft(draft);
        const TextMeasure drawn = draft.measure();
        TextMeasure size = drawn;
        test_hooks::after_report_measure(size);
        PyRef text = PyRef::steal(PyUnicode_New(static_cast<Py_ssize_t>(size.length), size.widest));
        if (!text) return nullptr;
        const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text.get()));
        const auto write = [&]<class Unit>(Unit* data) {
            if (const auto units = draft.drafted()) {
                UnitSink<Unit> sink({data, length}, size.widest);
                sink.units(*units, drawn.widest);
                sink.finish();
            } else {
                layout.write({data, length}, size.widest);
            }
        };
        switch (PyUnicode_KIND(text.get())) {
            case PyUnicode_1BYTE_KIND: write(PyUnicode_1BYTE_DATA(text.get())); break;
            case PyUnicode_2BYTE_KIND: write(PyUnicode_2BYTE_DATA(text.get())); break;
            default: write(PyUnicode_4BYTE_DATA(text.get())); break;
        }
        PyErr_SetObject(PyExc_RuntimeError, text.get());
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

}  // namespace vorna::bindings
