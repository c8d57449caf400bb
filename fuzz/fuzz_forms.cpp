// Fuzz target: the text and debug forms of arbitrary values. The debug form
// is read back by a decoder written from its description, so every escape
// must decode to the character it stands for and every character left as
// itself must be one that needs no escape; the text form must equal the
// fields joined as described, and reparse to itself when a grammar accepts it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/unicode/unicode.hpp"
#include "fuzz_common.hpp"

namespace {

using vorna::fuzz::check;
using vorna::fuzz::PlainValue;
using vorna::fuzz::Strings;

// Reads a debug form; any departure from the expected shape is a failed check.
class DebugReader {
public:
    explicit DebugReader(std::string_view text) : text_(text) {}

    void literal(std::string_view expected) {
        check(text_.substr(pos_, expected.size()) == expected, "debug form: unexpected text");
        pos_ += expected.size();
    }
    bool accept(std::string_view expected) {
        if (text_.substr(pos_, expected.size()) != expected) return false;
        pos_ += expected.size();
        return true;
    }
    void end() const { check(pos_ == text_.size(), "debug form: text after the value"); }

    std::uint32_t number() {
        const std::size_t start = pos_;
        std::uint64_t n = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            n = n * 10 + static_cast<std::uint64_t>(text_[pos_++] - '0');
            check(n <= 4294967295u, "debug form: number out of range");
        }
        check(pos_ > start, "debug form: number expected");
        check(text_[start] != '0' || pos_ == start + 1, "debug form: leading zero");
        return static_cast<std::uint32_t>(n);
    }

    std::string quoted() {
        literal("\"");
        std::string out;
        for (;;) {
            check(pos_ < text_.size(), "debug form: unterminated text");
            const vorna::utf8::Decoded d = vorna::utf8::decode(text_, pos_);
            check(!(d.scalar == vorna::utf8::replacement && d.length == 1), "debug form: not UTF-8");
            pos_ += d.length;
            if (d.scalar == U'"') return out;
            if (d.scalar != U'\\') {
                check(vorna::unicode::is_printable(d.scalar) && !vorna::unicode::is_grapheme_extend(d.scalar),
                      "debug form: a character that needs an escape is written as itself");
                vorna::utf8::append(out, d.scalar);
                continue;
            }
            check(pos_ < text_.size(), "debug form: escape at the end");
            switch (text_[pos_++]) {
                case '"': out.push_back('"'); break;
                case '\\': out.push_back('\\'); break;
                case 't': out.push_back('\t'); break;
                case 'r': out.push_back('\r'); break;
                case 'n': out.push_back('\n'); break;
                case '0': out.push_back('\0'); break;
                case 'u': vorna::utf8::append(out, unicode_escape()); break;
                default: check(false, "debug form: unknown escape");
            }
        }
    }

    Strings list() {
        literal("[");
        Strings out;
        if (accept("]")) return out;
        do {
            out.push_back(quoted());
        } while (accept(", "));
        literal("]");
        return out;
    }

    std::optional<Strings> optional_list() {
        if (accept("None")) return std::nullopt;
        literal("Some(");
        Strings out = list();
        literal(")");
        return out;
    }

private:
    // \u{hex}: lowercase, no leading zeros, for a scalar with no shorter
    // escape that is not printable or extends a grapheme.
    char32_t unicode_escape() {
        literal("{");
        const std::size_t start = pos_;
        char32_t c = 0;
        while (pos_ < text_.size() && text_[pos_] != '}') {
            const char h = text_[pos_++];
            check((h >= '0' && h <= '9') || (h >= 'a' && h <= 'f'), "debug form: not a lowercase hex digit");
            check(pos_ - start <= 6, "debug form: escape too long");
            c = c << 4 | static_cast<char32_t>(h <= '9' ? h - '0' : h - 'a' + 10);
        }
        check(pos_ > start && (text_[start] != '0' || pos_ == start + 1), "debug form: malformed escape");
        literal("}");
        check(c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF), "debug form: escape is not a scalar value");
        check(c != U'"' && c != U'\\' && c != U'\t' && c != U'\r' && c != U'\n' && c != 0,
              "debug form: long escape for a character with a short one");
        check(!vorna::unicode::is_printable(c) || vorna::unicode::is_grapheme_extend(c),
              "debug form: escape for a character that needs none");
        return c;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

PlainValue read_debug(std::string_view form) {
    DebugReader in(form);
    in.literal("Version::");
    PlainValue p;
    if (in.accept("SemVer { major: ")) {
        p.kind = vorna::VersionKind::SemVer;
        p.semver.major = in.number();
        in.literal(", minor: ");
        p.semver.minor = in.number();
        in.literal(", patch: ");
        p.semver.patch = in.number();
        in.literal(", rc: ");
        p.semver.rc = in.optional_list();
        in.literal(", meta: ");
        p.semver.meta = in.optional_list();
    } else if (in.accept("DotSeparated { parts: ")) {
        p.kind = vorna::VersionKind::DotSeparated;
        p.parts = in.list();
    } else {
        in.literal("Other { value: ");
        p.kind = vorna::VersionKind::Other;
        p.value = in.quoted();
    }
    in.literal(" }");
    in.end();
    return p;
}

void append_joined(std::string& out, const Strings& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) out.push_back('.');
        out.append(list[i]);
    }
}

std::string expected_text(const PlainValue& p) {
    std::string out;
    switch (p.kind) {
        case vorna::VersionKind::SemVer:
            out = std::to_string(p.semver.major) + "." + std::to_string(p.semver.minor) + "." +
                  std::to_string(p.semver.patch);
            if (p.semver.rc) append_joined(out.append("-"), *p.semver.rc);
            if (p.semver.meta) append_joined(out.append("+"), *p.semver.meta);
            break;
        case vorna::VersionKind::DotSeparated: append_joined(out, p.parts); break;
        case vorna::VersionKind::Other: out = p.value; break;
    }
    return out;
}

// A text form that the value's own grammar accepts reparses to a value with
// the same text form.
template <class T> void check_fixed_point(const vorna::Match<T>& m, const std::string& text) {
    if (const T* parsed = std::get_if<T>(&m)) check(vorna::to_text(*parsed) == text, "text form is not a fixed point");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorna::fuzz::ValueReader in(data, size);
    const PlainValue plain = in.value();
    const vorna::Version v = to_model(plain);

    const std::string debug = vorna::to_debug(v);
    check(read_debug(debug) == plain, "debug form does not decode to the value");
    const std::string text = vorna::to_text(v);
    check(text == expected_text(plain), "text form differs from the joined fields");

    std::string inner_debug;
    v.visit([&](const auto& inner) {
        check(vorna::to_text(inner) == text, "a Version's text form differs from its value's");
        inner_debug = vorna::to_debug(inner);
    });
    check(debug == "Version::" + inner_debug, "a Version's debug form is not its value's with the prefix");

    switch (plain.kind) {
        case vorna::VersionKind::SemVer: check_fixed_point(vorna::match<vorna::SemVer>(text), text); break;
        case vorna::VersionKind::DotSeparated: check_fixed_point(vorna::match<vorna::DotSeparated>(text), text); break;
        case vorna::VersionKind::Other: check_fixed_point(vorna::match<vorna::Other>(text), text); break;
    }
    (void)vorna::fuzz::match_all(text);
    return 0;
}
