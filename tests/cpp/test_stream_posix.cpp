#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/log/stdout.hpp"
#include "core/log/subscriber.hpp"
#include "native_stream.hpp"

namespace vorna::log {
namespace {

std::string errno_text(int number) {
    return std::generic_category().message(number) + " (errno " + std::to_string(number) + ")";
}

struct BrokenOutput {
    const char* path;
    int flags;
    int error;
};

class LogFailurePosix : public ::testing::TestWithParam<BrokenOutput> {};

// Every failure but a missing stream gets its diagnostic line, including a
// descriptor that is open but not for writing.
TEST_P(LogFailurePosix, UnwritableOutputGivesOneDiagnosticLine) {
    const BrokenOutput& c = GetParam();
    const int out = ::open(c.path, c.flags | O_CLOEXEC);
    if (out < 0) GTEST_SKIP() << c.path << " is not available";
    const platform::Handle err = test_support::make_temp_file();
    FormattingSubscriber subscriber(false, [] { return std::optional<Timestamp>(Timestamp{}); },
                                    [] { return std::uint64_t{1}; }, std::make_unique<StreamOutput>(out, err));
    subscriber.record(Record{.level = Level::info, .target = "vorna", .name = "event", .file = {}, .line = {},
                             .fields = {}, .parent = {}});
    EXPECT_EQ(test_support::read_all(err), "vorna: unable to write a log record: " + errno_text(c.error) + "\n");
    ::close(err);
    ::close(out);
}

INSTANTIATE_TEST_SUITE_P(Outputs, LogFailurePosix,
                         ::testing::Values(BrokenOutput{"/dev/full", O_WRONLY, ENOSPC},
                                           BrokenOutput{"/dev/null", O_RDONLY, EBADF}),
                         [](const ::testing::TestParamInfo<BrokenOutput>& info) {
                             return info.param.flags == O_RDONLY ? std::string("ReadOnly") : std::string("Full");
                         });

// In a child process, because it replaces descriptor 1. Only a closed
// descriptor is "no standard output"; one open for reading only is a failure.
[[noreturn]] void write_stdout_scenario() {
    ::close(STDOUT_FILENO);
    if (write_stdout("discarded\n")) std::_Exit(1);
    if (::open("/dev/null", O_RDONLY) != STDOUT_FILENO) std::_Exit(2);
    if (write_stdout("lost\n") != std::errc::bad_file_descriptor) std::_Exit(3);
    ::close(STDOUT_FILENO);
    if (::open("/dev/full", O_WRONLY) != STDOUT_FILENO) std::_Exit(4);
    const std::error_code error = write_stdout("Got version: 1.2.3\n");
    if (error != std::errc::no_space_on_device || describe_write_error(error) != errno_text(ENOSPC)) std::_Exit(5);
    std::_Exit(0);
}

TEST(LogStdoutDeathTest, OnlyAClosedStdoutIsNoError) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
    EXPECT_EXIT(write_stdout_scenario(), ::testing::ExitedWithCode(0), "");
}

// The check after a partial write (where a signal handler runs) either writes
// a line of its own or gives the write up. Either way the cut line is ended
// before the next write, and the handler's line comes after the cut one.
enum class CheckAction { nest, decline };

[[noreturn]] void interrupted_line_scenario(CheckAction action) {
    int ends[2];
    if (::pipe(ends) != 0 || ::dup2(ends[1], STDOUT_FILENO) != STDOUT_FILENO) std::_Exit(1);
    ::fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const auto check = [action]() noexcept {
        if (action == CheckAction::decline) return false;
        return !write_stdout("nested\n");
    };
    const std::string line(200000, 'x');
    const WriteOutcome outcome = write_stdout(line, check);
    const bool declined = action == CheckAction::decline;
    if (outcome.error != (declined ? std::errc::interrupted : std::errc::resource_unavailable_try_again)) std::_Exit(2);
    std::string out(outcome.written, '\0');
    if (::read(ends[0], out.data(), out.size()) != static_cast<ssize_t>(out.size())) std::_Exit(3);
    if (write_stdout("next\n")) std::_Exit(4);
    char rest[64] = {};
    const std::string expected = declined ? "\nnext\n" : "\nnested\nnext\n";
    if (::read(ends[0], rest, sizeof rest) != static_cast<ssize_t>(expected.size())) std::_Exit(5);
    std::_Exit(out == line.substr(0, outcome.written) && rest == expected ? 0 : 6);
}

TEST(LogStdoutDeathTest, NestedLineGoesOutAfterTheLineItInterrupted) {
    EXPECT_EXIT(interrupted_line_scenario(CheckAction::nest), ::testing::ExitedWithCode(0), "");
}

TEST(LogStdoutDeathTest, LineCutByADecliningCheckIsEndedFirst) {
    EXPECT_EXIT(interrupted_line_scenario(CheckAction::decline), ::testing::ExitedWithCode(0), "");
}

// Everything the pipe holds, read without waiting.
std::string drain(int in) {
    std::string got;
    char chunk[65536];
    for (ssize_t n; (n = ::read(in, chunk, sizeof chunk)) > 0;) got.append(chunk, static_cast<std::size_t>(n));
    return got;
}

// A handler's 256 KiB line, held back behind the line it interrupted (whose
// write the handler then gives up), meets a full pipe that takes it only in
// part, again after each draining. It arrives whole and once, after the end
// of the cut line and before the next write's own line.
[[noreturn]] void held_back_line_in_pieces_scenario() {
    int ends[2];
    if (::pipe(ends) != 0 || ::dup2(ends[1], STDOUT_FILENO) != STDOUT_FILENO) std::_Exit(1);
    ::fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const std::string handlers_line = std::string(256 * 1024 - 1, 'h') + "\n";
    const auto check = [&handlers_line]() noexcept {
        (void)write_stdout(handlers_line);
        return false;
    };
    const std::string line(200000, 'x');
    const WriteOutcome outcome = write_stdout(line, check);
    if (outcome.error != std::errc::interrupted) std::_Exit(2);
    std::string got = drain(ends[0]);
    int refused = 0;
    for (std::error_code error; (error = write_stdout("next\n")); got += drain(ends[0])) {
        if (error != std::errc::resource_unavailable_try_again || ++refused > 100) std::_Exit(3);
    }
    got += drain(ends[0]);
    std::_Exit(refused > 1 && got == line.substr(0, outcome.written) + "\n" + handlers_line + "next\n" ? 0 : 4);
}

TEST(LogStdoutDeathTest, HeldBackLineThatGoesOutInPiecesArrivesWhole) {
    EXPECT_EXIT(held_back_line_in_pieces_scenario(), ::testing::ExitedWithCode(0), "");
}

// A handler's line that cannot be held back (here, one longer than any
// string holds, refused before a byte of it is read) is refused whole: its
// writer is told so, and that none of it went out.
[[noreturn]] void nested_line_refused_scenario() {
    int ends[2];
    if (::pipe(ends) != 0 || ::dup2(ends[1], STDOUT_FILENO) != STDOUT_FILENO) std::_Exit(1);
    ::fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    static WriteOutcome nested{{}, 1};
    const auto check = []() noexcept {
        static const char byte = 'n';
        nested = write_stdout(std::string_view(&byte, std::string().max_size() + 1), {});
        return false;
    };
    (void)write_stdout(std::string(200000, 'x'), check);
    std::_Exit(nested.error == std::errc::not_enough_memory && nested.written == 0 ? 0 : 2);
}

TEST(LogStdoutDeathTest, NestedLineThatCannotBeHeldBackIsRefusedWhole) {
    EXPECT_EXIT(nested_line_refused_scenario(), ::testing::ExitedWithCode(0), "");
}

// A handler's line is still held back when the process exits. The exit
// writer sends it out, unless another thread holds the lock of standard
// output then (as a writer to handles of its own does): it waits for the
// lock, not past it, and nothing goes out beside the holder.
int exit_scenario_out = -1;
const char* exit_scenario_expected = "";

[[noreturn]] void held_back_line_at_exit_scenario(bool lock_held) {
    int ends[2];
    if (::pipe(ends) != 0 || ::dup2(ends[1], STDOUT_FILENO) != STDOUT_FILENO) std::_Exit(1);
    ::fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    exit_scenario_out = ends[0];
    exit_scenario_expected = lock_held ? "" : "\nheld back\n";
    // Registered before the exit writer (with the first line held back), so run after it.
    if (std::atexit([] { std::_Exit(drain(exit_scenario_out) == exit_scenario_expected ? 0 : 5); }) != 0) std::_Exit(2);
    const auto check = []() noexcept {
        (void)write_stdout("held back\n");
        return false;
    };
    if (write_stdout(std::string(200000, 'x'), check).error != std::errc::interrupted) std::_Exit(3);
    (void)drain(ends[0]);
    static std::atomic<bool> holding{false};
    if (lock_held) {
        std::thread([] {
            stdout_lock().lock();
            holding = true;
            std::this_thread::sleep_for(std::chrono::seconds(30));
        }).detach();
        while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::exit(0);
}

class LogStdoutAtExitDeathTest : public ::testing::TestWithParam<bool> {};

TEST_P(LogStdoutAtExitDeathTest, HeldBackLineGoesOutUnlessAnotherThreadHoldsTheLock) {
    EXPECT_EXIT(held_back_line_at_exit_scenario(GetParam()), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Holder, LogStdoutAtExitDeathTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("LockHeld") : std::string("LockFree");
                         });

}  // namespace
}  // namespace vorna::log
