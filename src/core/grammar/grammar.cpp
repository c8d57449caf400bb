// The grammar stage: the matcher and the quick scan of a semantic version,
// the expected items a failure gathers, and the ParseIssue a rejected text
// hands back. This file matches a text and builds the value it describes.

#include "core/grammar/grammar.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <new>
#include <type_traits>
#include <utility>

#include "core/grammar/pending_issue.hpp"
#include "core/grammar/matcher.hpp"
#include "core/grammar/semver_scan.hpp"
#include "core/model/block_layout.hpp"
#include "core/platform/fault.hpp"
#include "core/unicode/utf8.hpp"

namespace vorna {

namespace {

using grammar::IssueTracker;
using grammar::Matcher;
using grammar::NullTracker;
using grammar::SemVerShape;

// The failing paths run the grammar again with tracking on; acceptance does
// not depend on tracking, so only the issue is new. Nothing is gathered.
ParseIssue issue_of(std::string_view text, const Matcher<IssueTracker>& m) {
    return m.tracker().pending().to_issue(text);
}

ParseIssue issue(std::string_view text, const SemVer*) {
    Matcher<IssueTracker> m(text);
    SemVerShape shape;
    m.semver_text(shape);
    return issue_of(text, m);
}

ParseIssue issue(std::string_view text, const DotSeparated*) {
    Matcher<IssueTracker> m(text);
    DottedRange shape;
    m.dot_separated_text(shape);
    return issue_of(text, m);
}

ParseIssue issue(std::string_view text, const Other*) {
    Matcher<IssueTracker> m(text);
    m.other_text();
    return issue_of(text, m);
}

// Issues of every alternative compete, so all three run again in order.
ParseIssue issue(std::string_view text, const Version*) {
    Matcher<IssueTracker> m(text);
    SemVerShape semver_shape;
    DottedRange list_shape;
    m.semver_text(semver_shape);
    m.dot_separated_text(list_shape);
    m.other_text();
    return issue_of(text, m);
}

using grammar::accept_at;
using grammar::scans_semver;
using grammar::tracked_from;

// Storage for one value beside the caller, which match_into builds in and
// moves out of: the value owns its block, so it may be moved.
template <class T> class LocalSite final : public BuildSite {
public:
    void* make(std::size_t, BlockRoom&) override { return storage_; }
    T& value() noexcept { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace

template <class T> std::optional<ParseIssue> match_at(std::string_view text, BuildSite& site) {
    if constexpr (scans_semver<T>) {
        if (text.size() < tracked_from) [[likely]] {
            if (SemVerShape shape; grammar::scan_semver(text, shape)) [[likely]] {
                grammar::make_semver_at<T>(site, text, shape);
                return std::nullopt;
            }
        }
    }
    return match_unscanned<T>(text, site);
}

template <class T> std::optional<ParseIssue> match_unscanned(std::string_view text, BuildSite& site) {
    if (text.size() < tracked_from) [[likely]] {
        Matcher<NullTracker> m(text);
        if (accept_at(m, text, site, static_cast<const T*>(nullptr))) [[likely]] return std::nullopt;
        return issue(text, static_cast<const T*>(nullptr));
    }
    Matcher<IssueTracker> m(text);
    if (accept_at(m, text, site, static_cast<const T*>(nullptr))) return std::nullopt;
    return issue_of(text, m);
}

template std::optional<ParseIssue> match_at<SemVer>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_at<DotSeparated>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_at<Other>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_at<Version>(std::string_view, BuildSite&);
template <class T> ParseIssue failure_issue(std::string_view text) { return issue(text, static_cast<const T*>(nullptr)); }

template ParseIssue failure_issue<SemVer>(std::string_view);
template ParseIssue failure_issue<DotSeparated>(std::string_view);
template ParseIssue failure_issue<Other>(std::string_view);
template ParseIssue failure_issue<Version>(std::string_view);

template std::optional<ParseIssue> match_unscanned<SemVer>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_unscanned<DotSeparated>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_unscanned<Other>(std::string_view, BuildSite&);
template std::optional<ParseIssue> match_unscanned<Version>(std::string_view, BuildSite&);

template <class T> std::optional<ParseIssue> match_into(std::string_view text, T& out) {
    LocalSite<T> site;
    if (std::optional<ParseIssue> issue = match_at<T>(text, site)) return issue;
    T& built = site.value();
    out = std::move(built);
    built.~T();
    return std::nullopt;
}

template std::optional<ParseIssue> match_into(std::string_view, SemVer&);
template std::optional<ParseIssue> match_into(std::string_view, DotSeparated&);
template std::optional<ParseIssue> match_into(std::string_view, Other&);
template std::optional<ParseIssue> match_into(std::string_view, Version&);

}  // namespace vorna
