// The report stage: the diagnostic report of a rejected text (its source
// lines, layout, quoted line and colour) and the sinks that write it into
// storage of a measured size. This file makes the label colours and the
// process's colour decision.

#include "core/report/colour.hpp"

#include <algorithm>
#include <cstdlib>

#include "core/platform/console.hpp"
#include "core/platform/first_stored.hpp"

namespace vorna {

// Three 16-bit counters stepped by different amounts (modulo 65536) so that
// they drift apart and successive colours differ in hue; each counter gives a
// channel of at least `min_brightness`, so no colour is too dark to read.
// The channels index the palette's 6x6x6 colour cube, which starts at 16 and
// puts red, green and blue at strides 36, 6 and 1: a channel times 5 cube
// levels gives the weights 180, 30 and 5. The starting counters and the steps
// fix the sequence (201, 155, 187, ...) that the reports' exact text shows,
// so they are part of the output and not tuning.
std::uint8_t ColourGenerator::next() noexcept {
    constexpr std::uint16_t steps[3] = {24262, 55202, 20606};
    constexpr float min_brightness = 0.5f;
    for (int i = 0; i < 3; ++i) state_[i] = static_cast<std::uint16_t>(state_[i] + steps[i]);
    const auto channel = [&](int i) { return float(state_[i]) / 65535.0f * (1.0f - min_brightness) + min_brightness; };
    const float index = channel(2) * 5.0f + channel(1) * 30.0f + channel(0) * 180.0f;
    return static_cast<std::uint8_t>(static_cast<unsigned>(std::clamp(index, 0.0f, 255.0f)) + 16u);
}

bool decide_colour(const ColourEnvironment& env) noexcept {
    if (env.clicolor_force && *env.clicolor_force != "0") return true;
    return env.stderr_is_terminal && (!env.clicolor || *env.clicolor != "0") &&
           (!env.no_color || env.no_color->empty()) && (!env.term || *env.term != "dumb");
}

namespace {

std::optional<std::string_view> variable(const char* name) noexcept {
    if (const char* value = std::getenv(name)) return std::string_view(value);
    return std::nullopt;
}

}  // namespace

ColourEnvironment current_colour_environment() noexcept {
    return {variable("CLICOLOR_FORCE"), variable("CLICOLOR"), variable("NO_COLOR"), variable("TERM"),
            platform::is_terminal(platform::std_handle(platform::StdStream::error))};
}

bool report_colour_enabled() noexcept {
    enum : unsigned char { undecided, off, on };
    static FirstStored<unsigned char, undecided> decision;
    return decision.get_or_store([] {
        platform::enable_escape_sequences();
        return static_cast<unsigned char>(decide_colour(current_colour_environment()) ? on : off);
    }) == on;
}

}  // namespace vorna
