// Terminal colour for diagnostic reports: the palette colours handed out to
// labels, and whether standard error gets colour at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorna {

// Hands out a sequence of well-spread, reasonably bright colours of the
// 256-colour terminal palette. A fresh generator always yields the same
// sequence, starting 201, 155, 187.
class ColourGenerator {
public:
    // The next palette index.
    std::uint8_t next() noexcept;

private:
    std::uint16_t state_[3] = {30000, 15000, 35000};
};

// The inputs of the colour decision. An environment variable that is not set
// is nullopt; one that is set to the empty text is an empty view.
struct ColourEnvironment {
    std::optional<std::string_view> clicolor_force;
    std::optional<std::string_view> clicolor;
    std::optional<std::string_view> no_color;
    std::optional<std::string_view> term;
    bool stderr_is_terminal = false;
};

// Colour is on when CLICOLOR_FORCE is set to anything but "0"; otherwise only
// when standard error is a terminal, CLICOLOR is not "0", NO_COLOR is unset or
// empty and TERM is not "dumb". Any non-empty NO_COLOR counts, valid UTF-8 or
// not; the log's rule (log::colour_for_no_color) says why it differs.
bool decide_colour(const ColourEnvironment& env) noexcept;

// The environment of this process as the decision sees it.
ColourEnvironment current_colour_environment() noexcept;

// Whether reports written now carry ANSI colour: decided once per process
// from this process's environment; the first decision stored wins.
bool report_colour_enabled() noexcept;

}  // namespace vorna
