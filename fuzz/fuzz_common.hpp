// Checks shared by the fuzz targets. A broken check aborts with a message,
// which libFuzzer reports as a crash together with the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "core/grammar.hpp"
#include "core/utf8.hpp"

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
    Matches m{match_semver(text), match_dot_separated(text), match_other(text), match_version(text)};
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
    const Match<Version> again = match_version(form);
    const Version* w = std::get_if<Version>(&again);
    check(w != nullptr, "text form does not parse");
    check(w->kind() == v.kind() && to_debug(*w) == to_debug(v), "text form parses to another value");
    return m;
}

}  // namespace vorna::fuzz
