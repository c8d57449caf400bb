// Text with or without ANSI styles: with colour off, not one escape byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/unicode/text_forms.hpp"

namespace vorna {

class Painter {
public:
    Painter(std::string& out, bool colour) noexcept : out_(out), colour_(colour) {}

    std::string& out() noexcept { return out_; }

    // Starts a style given as SGR parameters ("1", "2;3", "31"); the empty
    // style is no style and writes nothing.
    void open(std::string_view style) {
        if (colour_ && !style.empty()) out_.append("\x1b[").append(style).push_back('m');
    }
    // Starts colour `index` of the 256-colour palette.
    void open_palette(std::uint8_t index) {
        if (!colour_) return;
        out_.append("\x1b[38;5;");
        append_decimal(out_, index);
        out_.push_back('m');
    }
    // Ends whatever style is on.
    void reset() {
        if (colour_) out_.append("\x1b[0m");
    }
    // Ends `style`, as opened by open(style).
    void close(std::string_view style) {
        if (!style.empty()) reset();
    }

    // `text` in `style`, then the style ended.
    void piece(std::string_view style, std::string_view text) {
        open(style);
        out_.append(text);
        close(style);
    }
    // `text` in palette colour `index`, then the colour ended.
    void palette_piece(std::uint8_t index, std::string_view text) {
        open_palette(index);
        out_.append(text);
        reset();
    }

private:
    std::string& out_;
    bool colour_;
};

}  // namespace vorna
