// The module: its entry point and tree, the two functions and the exported
// description of the API.
//
// The machine-readable description of the Python API, one JSON record per
// line: a record per module, class, method, property and function, in the
// order the module body adds them. Written from the declarations and the
// classes' type descriptions only (no Python call), so it can be read with
// ctypes without importing the module.
#include <Python.h>

#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "bindings/api.hpp"
#include "bindings/runtime/test_hooks.hpp"

namespace vorna::bindings::api {

namespace {

void append_json_string(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\n': out.append("\\n"); break;
            case '\t': out.append("\\t"); break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out.append(escaped);
                } else {
                    out.push_back(c);  // UTF-8 passes through: JSON text is UTF-8
                }
        }
    }
    out.push_back('"');
}

// One record, written field by field: {"kind": ..., "name": ..., ...}. Made
// and closed by `write_record` alone: closing appends, and an append that
// runs out of memory must reach the caller, which a destructor cannot let it.
class Record {
public:
    Record(std::string& out, std::string_view kind, std::string_view name, std::string_view path) : out_(out) {
        out_.append("{\"kind\": ");
        append_json_string(out_, kind);
        field("name", name);
        field("path", path);
    }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    std::string& key(std::string_view name) {
        out_.append(", ");
        append_json_string(out_, name);
        out_.append(": ");
        return out_;
    }
    void field(std::string_view name, std::string_view value) { append_json_string(key(name), value); }
    void flag(std::string_view name, bool value) { key(name).append(value ? "true" : "false"); }
    void null_field(std::string_view name) { key(name).append("null"); }
    void close() {
        test_hooks::before_record_close();
        out_.append("}\n");
    }

private:
    std::string& out_;
};

// Writes one record: the header fields, those `fields(record)` adds, the end.
template <class Fields>
void write_record(std::string& out, std::string_view kind, std::string_view name, std::string_view path,
                  Fields&& fields) {
    Record record(out, kind, name, path);
    std::forward<Fields>(fields)(record);
    record.close();
}

std::string_view kind_name(ParameterKind kind) {
    switch (kind) {
        case ParameterKind::positional_only: return "positional_only";
        case ParameterKind::positional_or_keyword: return "positional_or_keyword";
        case ParameterKind::var_positional: return "var_positional";
        case ParameterKind::keyword_only: return "keyword_only";
        case ParameterKind::var_keyword: return "var_keyword";
    }
    return "positional_or_keyword";
}

void append_signatures(std::string& out, std::span<const Signature> signatures) {
    out.push_back('[');
    const char* signature_separator = "";
    for (const Signature& signature : signatures) {
        out.append(signature_separator).append("{\"parameters\": [");
        signature_separator = ", ";
        const char* separator = "";
        for (const Parameter& parameter : signature.parameters) {
            out.append(separator).append("{\"name\": ");
            separator = ", ";
            append_json_string(out, parameter.name);
            out.append(", \"type\": ");
            append_json_string(out, parameter.type);
            out.append(", \"kind\": ");
            append_json_string(out, kind_name(parameter.kind));
            out.append(", \"default\": ").append(parameter.has_default ? "true" : "false").push_back('}');
        }
        out.append("], \"returns\": ");
        append_json_string(out, signature.returns);
        out.push_back('}');
    }
    out.push_back(']');
}

// A docstring as the host splits it: "name(...)\n--\n\n" first gives the
// text signature "(...)", the rest is __doc__ (None when empty).
struct SplitDoc {
    std::string_view text_signature;
    std::string_view doc;
};

SplitDoc split_doc(std::string_view name, std::string_view full) {
    constexpr std::string_view end_marker = ")\n--\n\n";
    if (full.starts_with(name) && full.substr(name.size()).starts_with("(")) {
        const std::size_t end = full.find(end_marker);
        if (end != std::string_view::npos) {
            return {full.substr(name.size(), end + 1 - name.size()), full.substr(end + end_marker.size())};
        }
    }
    return {{}, full};
}

void doc_fields(Record& record, std::string_view name, const char* full) {
    const SplitDoc split = split_doc(name, full ? full : "");
    if (split.doc.empty()) {
        record.null_field("doc");
    } else {
        record.field("doc", split.doc);
    }
    if (split.text_signature.empty()) {
        record.null_field("text_signature");
    } else {
        record.field("text_signature", split.text_signature);
    }
}

void method_record(std::string& out, const std::string& owner, std::string_view name, std::string_view receiver,
                   std::span<const Signature> signatures) {
    write_record(out, "method", name, owner + "." + std::string(name), [&](Record& record) {
        record.field("class", owner);
        record.field("receiver", receiver);
        append_signatures(record.key("signatures"), signatures);
    });
}

void class_records(std::string& out, const std::string& module_path, const Class& declared) {
    const PyType_Spec& description = declared.type_spec();
    const std::string path = module_path + "." + declared.name;
    const char* doc = nullptr;
    bool has_new = false, has_repr = false, has_str = false, has_richcompare = false, has_hash = false;
    for (const PyType_Slot* slot = description.slots; slot->slot != 0; ++slot) {
        switch (slot->slot) {
            case Py_tp_doc: doc = static_cast<const char*>(slot->pfunc); break;
            case Py_tp_new: has_new = true; break;
            case Py_tp_repr: has_repr = true; break;
            case Py_tp_str: has_str = true; break;
            case Py_tp_richcompare: has_richcompare = true; break;
            case Py_tp_hash: has_hash = true; break;
            default: break;
        }
    }
    write_record(out, "class", declared.name, path, [&](Record& record) {
        record.field("module", module_path);
        record.field("type_name", description.name);
        doc_fields(record, declared.name, doc);
        record.flag("final", (description.flags & Py_TPFLAGS_BASETYPE) == 0);
        // Defining comparisons without a hash makes the host mark the class unhashable.
        record.flag("hashable", has_hash || !has_richcompare);
    });
    if (has_new) method_record(out, path, "__new__", "cls", declared.constructor);
    const Signature to_text[] = {{{}, "str"}};
    if (has_repr) method_record(out, path, "__repr__", "self", to_text);
    if (has_str) method_record(out, path, "__str__", "self", to_text);
    if (has_richcompare) {
        // Equality answers any object (False for another class); ordering
        // only an instance of the same class.
        const Parameter any_other[] = {{"other", "object", ParameterKind::positional_only}};
        const Parameter same_class[] = {{"other", declared.name, ParameterKind::positional_only}};
        const Signature equality[] = {{any_other, "bool"}};
        const Signature ordering[] = {{same_class, "bool"}};
        for (std::string_view name : {"__eq__", "__ne__"}) method_record(out, path, name, "self", equality);
        for (std::string_view name : {"__lt__", "__le__", "__gt__", "__ge__"}) {
            method_record(out, path, name, "self", ordering);
        }
    }
    for (const Property& property : declared.properties) {
        write_record(out, "property", property.name, path + "." + property.name, [&](Record& record) {
            record.field("class", path);
            if (property.doc) {
                record.field("doc", property.doc);
            } else {
                record.null_field("doc");
            }
            record.field("type", property.type);
            record.key("setter").append("{\"parameter\": ");
            append_json_string(out, property.setter_parameter);
            out.append(", \"type\": ");
            append_json_string(out, property.setter_type);
            out.push_back('}');
        });
    }
}

void function_record(std::string& out, const std::string& module_path, const Function& declared) {
    const char* name = declared.definition->ml_name;
    write_record(out, "function", name, module_path + "." + name, [&](Record& record) {
        record.field("module", module_path);
        doc_fields(record, name, declared.definition->ml_doc);
        const Signature signatures[] = {declared.signature};
        append_signatures(record.key("signatures"), signatures);
    });
}

void module_records(std::string& out, const std::string& path, const Module& declared) {
    write_record(out, "module", declared.name, path, [&](Record& record) {
        record.field("doc", declared.doc);
        std::string& all = record.key("all");
        all.push_back('[');
        const char* separator = "";
        const auto add = [&](std::string_view name) {
            append_json_string(all.append(separator), name);
            separator = ", ";
        };
        for (const Class* entry : declared.classes) add(entry->name);
        for (const Module* submodule : declared.submodules) add(submodule->name);
        for (const Function* function : declared.functions) add(function->definition->ml_name);
        all.push_back(']');
    });
    for (const Class* entry : declared.classes) class_records(out, path, *entry);
    for (const Module* submodule : declared.submodules) {
        module_records(out, path + "." + submodule->name, *submodule);
    }
    for (const Function* function : declared.functions) function_record(out, path, *function);
}

}  // namespace

}  // namespace vorna::bindings::api

// The records as UTF-8 JSON lines, owned by the library for the life of the
// process; null when memory ran out (a later call tries again).
extern "C" Py_EXPORTED_SYMBOL const char* vorna_api_records() noexcept {
    try {
        static const std::string records = [] {
            std::string out;
            const vorna::bindings::api::Module& top = vorna::bindings::api::module_tree();
            vorna::bindings::api::module_records(out, top.name, top);
            return out;
        }();
        return records.c_str();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
