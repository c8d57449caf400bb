// Checks shared by the fuzz targets. A broken check aborts with a message,
// which libFuzzer reports as a crash together with the input.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/parse/parse.hpp"
#include "core/unicode/utf8.hpp"
#include "core/model/version.hpp"

namespace vorna::fuzz {

inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// The issue lies inside the text; an expected/found issue points at one
// whole character (or at the end) and its sentence can be built.
inline void check_issue(const ParseIssue& issue, std::string_view text) {
    check(issue.span_start <= issue.span_end, "span start after span end");
    check(issue.span_end <= text.size(), "span past the end of the text");
    if (const auto* ef = std::get_if<ExpectedFound>(&issue.reason)) {
        check(!ef->expected.empty(), "empty expected list");
        if (issue.span_start == text.size()) {
            check(!ef->found && issue.span_end == issue.span_start, "found a character at the end");
        } else {
            const utf8::Decoded d = utf8::decode(text, issue.span_start);
            check(ef->found == d.scalar, "found is not the character at the span");
            check(issue.span_end == issue.span_start + d.length, "span is not one character");
        }
    }
    check(!issue.sentence().empty(), "empty sentence");
}

template <class T> const ParseIssue* issue_of(const Match<T>& m, std::string_view text) {
    const ParseIssue* issue = std::get_if<ParseIssue>(&m);
    if (issue) check_issue(*issue, text);
    return issue;
}

// The match entry points agree with one another, and the text form of an
// accepted version parses back to the same value.
struct Matches {
    Match<SemVer> semver;
    Match<DotSeparated> dot_separated;
    Match<Other> other;
    Match<Version> version;
};

inline Matches match_all(std::string_view text) {
    Matches m{match<SemVer>(text), match<DotSeparated>(text), match<Other>(text), match<Version>(text)};
    const ParseIssue* semver_issue = issue_of(m.semver, text);
    const ParseIssue* dotted_issue = issue_of(m.dot_separated, text);
    const ParseIssue* other_issue = issue_of(m.other, text);
    const ParseIssue* version_issue = issue_of(m.version, text);

    if (version_issue) {
        check(semver_issue && dotted_issue && other_issue, "version failed where one kind matched");
        std::size_t furthest = semver_issue->span_start;
        if (dotted_issue->span_start > furthest) furthest = dotted_issue->span_start;
        if (other_issue->span_start > furthest) furthest = other_issue->span_start;
        check(version_issue->span_start == furthest, "version issue is not the furthest");
        return m;
    }
    const Version& v = std::get<Version>(m.version);
    switch (v.kind()) {
        case VersionKind::SemVer:
            check(!semver_issue && to_debug(std::get<SemVer>(m.semver)) == to_debug(*v.get_if<SemVer>()),
                  "version disagrees with semver");
            break;
        case VersionKind::DotSeparated:
            check(semver_issue && !dotted_issue, "version picked the wrong kind");
            check(std::get<DotSeparated>(m.dot_separated) == *v.get_if<DotSeparated>(),
                  "version disagrees with dot-separated");
            break;
        case VersionKind::Other:
            check(semver_issue && dotted_issue && !other_issue, "version picked the wrong kind");
            check(std::get<Other>(m.other) == *v.get_if<Other>(), "version disagrees with other");
            break;
    }
    const std::string form = to_text(v);
    if (v.kind() != VersionKind::SemVer) check(form == text, "text form differs from the text");
    const Match<Version> again = match<Version>(form);
    const Version* w = std::get_if<Version>(&again);
    check(w != nullptr, "text form does not parse");
    check(w->kind() == v.kind() && to_debug(*w) == to_debug(v), "text form parses to another value");
    return m;
}

// ---------------------------------------------------------------------------
// Arbitrary values, as the Python setters can store them: any valid UTF-8 in
// any text (quotes, backslashes, controls, NUL, dots, the empty text) and any
// number of texts in a list.

using Strings = std::vector<std::string>;

// A value in plain containers, independent of how the model stores it.
struct PlainSemVer {
    std::uint32_t major = 0, minor = 0, patch = 0;
    std::optional<Strings> rc, meta;
};
struct PlainValue {
    VersionKind kind = VersionKind::Other;
    PlainSemVer semver;  // VersionKind::SemVer
    Strings parts;       // VersionKind::DotSeparated
    std::string value;   // VersionKind::Other
};

// The only place that builds model values or reads their fields, so a change
// of the model's storage is adapted here once.
inline TextList to_model(const Strings& items) { return TextList(items.begin(), items.end()); }
inline SemVer to_model(const PlainSemVer& p) {
    const TextList rc = p.rc ? to_model(*p.rc) : TextList();
    const TextList meta = p.meta ? to_model(*p.meta) : TextList();
    std::optional<ListSource> rc_source, meta_source;
    if (p.rc) rc_source.emplace(rc);
    if (p.meta) meta_source.emplace(meta);
    return SemVer(p.major, p.minor, p.patch, rc_source, meta_source);
}
inline Version to_model(const PlainValue& p) {
    switch (p.kind) {
        case VersionKind::SemVer: return Version(to_model(p.semver));
        case VersionKind::DotSeparated: return Version(DotSeparated(to_model(p.parts)));
        case VersionKind::Other: break;
    }
    return Version(Other(std::string_view(p.value)));
}

template <class List> Strings to_plain(const List& list) {
    Strings out;
    for (std::string_view item : list) out.emplace_back(item);
    return out;
}
template <class List> std::optional<Strings> to_plain(const std::optional<List>& list) {
    if (!list) return std::nullopt;
    return to_plain(*list);
}
inline PlainValue to_plain(const Version& v) {
    PlainValue p;
    p.kind = v.kind();
    if (const SemVer* s = v.get_if<SemVer>()) {
        p.semver = {s->major, s->minor, s->patch, to_plain(s->rc()), to_plain(s->meta())};
    } else if (const DotSeparated* d = v.get_if<DotSeparated>()) {
        p.parts = to_plain(d->parts());
    } else {
        p.value = std::string(v.get_if<Other>()->value());
    }
    return p;
}

inline bool operator==(const PlainSemVer& a, const PlainSemVer& b) {
    return a.major == b.major && a.minor == b.minor && a.patch == b.patch && a.rc == b.rc && a.meta == b.meta;
}
inline bool operator==(const PlainValue& a, const PlainValue& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case VersionKind::SemVer: return a.semver == b.semver;
        case VersionKind::DotSeparated: return a.parts == b.parts;
        case VersionKind::Other: break;
    }
    return a.value == b.value;
}

// Reads the fuzzer's bytes as a description of values. Past the end every
// read gives zero, so any input describes some values.
class ValueReader {
public:
    ValueReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const noexcept { return pos_ >= size_; }
    std::uint8_t byte() noexcept { return pos_ < size_ ? data_[pos_++] : 0; }

    // Mostly small numbers, so that values often tie; the extremes often.
    std::uint32_t number() noexcept {
        const std::uint8_t selector = byte();
        switch (selector % 8) {
            case 0: return 0;
            case 1: return 4294967295u;
            case 2: return byte();
            case 3: {
                std::uint32_t n = 0;
                for (int i = 0; i < 4; ++i) n = n << 8 | byte();
                return n;
            }
            default: return selector >> 5;
        }
    }

    // Up to 31 bytes as valid UTF-8: a byte that does not start a
    // well-formed sequence stands for the code point of the same number, so
    // every byte value shows up and Latin-1 letters come for free.
    std::string text() {
        const std::size_t length = byte() % 32;
        const std::size_t end = std::min(size_, pos_ + length);
        const std::string_view raw(reinterpret_cast<const char*>(data_) + pos_, end - pos_);
        pos_ = end;
        std::string out;
        for (std::size_t i = 0; i < raw.size();) {
            const utf8::Decoded d = utf8::decode(raw, i);
            if (d.scalar == utf8::replacement && d.length == 1) {
                utf8::append(out, static_cast<unsigned char>(raw[i]));
            } else {
                out.append(raw, i, d.length);
            }
            i += d.length;
        }
        return out;
    }

    Strings list() {
        Strings out(byte() % 5);
        for (std::string& item : out) item = text();
        return out;
    }

    std::optional<Strings> optional_list() {
        if (byte() % 3 == 0) return std::nullopt;
        return list();
    }

    PlainValue value() {
        PlainValue p;
        p.kind = static_cast<VersionKind>(byte() % 3);
        switch (p.kind) {
            case VersionKind::SemVer:
                p.semver.major = number();
                p.semver.minor = number();
                p.semver.patch = number();
                p.semver.rc = optional_list();
                p.semver.meta = optional_list();
                break;
            case VersionKind::DotSeparated: p.parts = list(); break;
            case VersionKind::Other: p.value = text(); break;
        }
        return p;
    }

    // A value of the same kind as `base` that differs from it in one place:
    // ties, common prefixes and lists one item longer are what the order
    // must get right, and independent values rarely produce them.
    PlainValue variant_of(PlainValue p) {
        const std::uint8_t how = byte();
        Strings* list = nullptr;
        switch (p.kind) {
            case VersionKind::SemVer:
                switch (how % 6) {
                    case 0: p.semver.patch = number(); return p;
                    case 1: p.semver.rc = optional_list(); return p;
                    case 2: p.semver.meta = optional_list(); return p;
                    case 3: p.semver.minor = number(); return p;
                    default:
                        if (!p.semver.rc) p.semver.rc.emplace();
                        list = &*p.semver.rc;
                }
                break;
            case VersionKind::DotSeparated: list = &p.parts; break;
            case VersionKind::Other:
                if (how & 1) {
                    p.value += text();
                } else {
                    // Cut at a character boundary: texts stay valid UTF-8.
                    std::size_t n = std::min<std::size_t>(p.value.size(), byte());
                    while (n > 0 && n < p.value.size() && (p.value[n] & 0xC0) == 0x80) --n;
                    p.value.resize(n);
                }
                return p;
        }
        if ((how >> 3) & 1 || list->empty()) {
            list->push_back(text());
        } else if ((how >> 4) & 1) {
            list->pop_back();
        } else {
            list->back() = text();
        }
        return p;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace vorna::fuzz
