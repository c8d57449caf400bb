#include <gtest/gtest.h>

#include "core/platform/windows.hpp"

#include <cstdlib>
#include <string>

#include "core/report/colour.hpp"
#include "core/log/stdout.hpp"
#include "core/platform/console.hpp"
#include "native_stream.hpp"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace vorna::platform {
namespace {

// A fresh screen buffer of the process's console, so that what the tests
// write can be read back from its cells.
class ConsoleBuffer : public ::testing::Test {
protected:
    void SetUp() override {
        buffer_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
        if (buffer_ != INVALID_HANDLE_VALUE) return;
        // A run that set VORNA_TEST_CONSOLE has arranged a console and must test it.
        if (std::getenv("VORNA_TEST_CONSOLE") != nullptr) FAIL() << "no console (error " << GetLastError() << ")";
        GTEST_SKIP() << "the process has no console";
    }
    void TearDown() override {
        if (buffer_ != INVALID_HANDLE_VALUE) CloseHandle(buffer_);
    }

    // The first `length` cells of the buffer's first row.
    std::u16string first_row(DWORD length) const {
        std::wstring cells(length, L'\0');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(buffer_, cells.data(), length, COORD{0, 0}, &read);
        cells.resize(read);
        return std::u16string(cells.begin(), cells.end());
    }

    HANDLE buffer_ = INVALID_HANDLE_VALUE;
};

TEST_F(ConsoleBuffer, IsATerminal) { EXPECT_TRUE(is_terminal(buffer_)); }

// UTF-8 sent to a console as bytes comes out in its code page (437 and the
// like); as UTF-16 it comes out as written.
TEST_F(ConsoleBuffer, BoxDrawingAndAccentedTextArriveIntact) {
    const std::u16string expected = u"\u256d\u2500[ caf\u00e9 \u00fcber ]\u2500\u256f";
    ASSERT_FALSE(write_all(buffer_, "\xe2\x95\xad\xe2\x94\x80[ caf\xc3\xa9 \xc3\xbc" "ber ]\xe2\x94\x80\xe2\x95\xaf"));
    EXPECT_EQ(first_row(static_cast<DWORD>(expected.size())), expected);
}

// Standard error on a console is a terminal for the colour decision, and the
// decision's first use lets that console interpret escape sequences.
TEST_F(ConsoleBuffer, ColourCheckSeesTheConsoleAndSwitchesOnEscapes) {
    const HANDLE saved_err = GetStdHandle(STD_ERROR_HANDLE);
    const HANDLE saved_out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(buffer_, &mode));
    SetConsoleMode(buffer_, mode & ~DWORD{ENABLE_VIRTUAL_TERMINAL_PROCESSING});
    const HANDLE file = test_support::make_temp_file();

    SetStdHandle(STD_ERROR_HANDLE, file);
    const bool file_is_terminal = current_colour_environment().stderr_is_terminal;
    SetStdHandle(STD_ERROR_HANDLE, buffer_);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    const bool console_is_terminal = current_colour_environment().stderr_is_terminal;
    enable_escape_sequences();
    GetConsoleMode(buffer_, &mode);
    SetStdHandle(STD_ERROR_HANDLE, saved_err);
    SetStdHandle(STD_OUTPUT_HANDLE, saved_out);
    test_support::close_handle(file);

    EXPECT_FALSE(file_is_terminal);
    EXPECT_TRUE(console_is_terminal);
    EXPECT_NE(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING, 0u);
}

TEST(PlatformWindows, NulIsNotATerminal) {
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
    ASSERT_NE(nul, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(is_terminal(nul));
    EXPECT_FALSE(write_all(nul, "into the void\n"));
    CloseHandle(nul);
}

TEST(PlatformWindows, PipeWithoutReaderIsABrokenPipe) {
    const test_support::Pipe pipe = test_support::make_pipe();
    test_support::close_handle(pipe.read);
    EXPECT_EQ(write_all(pipe.write, "Got version: 1.2.3\n"), std::errc::broken_pipe);
    test_support::close_handle(pipe.write);
}

// A process started without a standard output discards what is written to
// it; it is not a write failure.
TEST(PlatformWindows, NoStandardOutputHandleDiscardsSilently) {
    const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    const std::error_code without = log::write_stdout("lost\n");
    SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
    const std::error_code invalid = log::write_stdout("lost\n");
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    EXPECT_FALSE(without);
    EXPECT_FALSE(invalid);
}

}  // namespace
}  // namespace vorna::platform
