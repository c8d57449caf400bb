#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

// In a child process, because it replaces descriptor 1 with a non-blocking
// pipe that takes only part of a long line.
bool host_held = true;
bool released_before_the_stdout_lock = false;
bool host_calls_paired = true;  // never given up unheld nor taken back held
int host_releases = 0;
int host_reacquires = 0;

[[noreturn]] void host_lock_scenario() {
    int ends[2];
    if (::pipe(ends) != 0 || ::dup2(ends[1], STDOUT_FILENO) != STDOUT_FILENO) std::_Exit(1);
    ::fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
    set_host_lock({.release = []() noexcept -> void* {
                       if (host_held && !released_before_the_stdout_lock) {
                           // Free for another thread: this one does not hold it yet.
                           std::thread([] {
                               released_before_the_stdout_lock = stdout_lock().try_lock();
                               if (released_before_the_stdout_lock) stdout_lock().unlock();
                           }).join();
                       }
                       host_calls_paired = host_calls_paired && host_held;
                       ++host_releases;
                       host_held = false;
                       return &host_held;
                   },
                   .reacquire = [](void*) noexcept {
                       host_calls_paired = host_calls_paired && !host_held;
                       ++host_reacquires;
                       host_held = true;
                   }});
    int checks = 0;
    bool checked_with_host_held = true;
    const auto check = [&]() noexcept {
        ++checks;
        checked_with_host_held = checked_with_host_held && host_held;
        return true;
    };
    const std::string line(200000, 'x');
    const WriteOutcome outcome = write_stdout(line, check);
    if (outcome.error != std::errc::resource_unavailable_try_again) std::_Exit(2);
    if (outcome.written == 0 || outcome.written >= line.size()) std::_Exit(3);
    if (!released_before_the_stdout_lock || !host_held) std::_Exit(4);
    if (checks == 0 || !checked_with_host_held) std::_Exit(5);
    // Given up once before the write and again after each check, taken back
    // for each check and once after the write.
    if (!host_calls_paired || host_releases != checks + 1 || host_reacquires != checks + 1) std::_Exit(6);
    std::_Exit(0);
}

// The host lock is given up before the standard-output lock is taken, held
// again for each check after a partial write and given up after it; the
// bytes that went out before the pipe refused more are counted.
TEST(LogStdoutDeathTest, HostLockGivenUpAroundTheWrite) {
    EXPECT_EXIT(host_lock_scenario(), ::testing::ExitedWithCode(0), "");
}

int half_lock_calls = 0;

// A lock missing either function is no lock: neither half is ever called.
[[noreturn]] void half_host_lock_scenario() {
    if (::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO) != STDOUT_FILENO) std::_Exit(1);
    set_host_lock({.release = []() noexcept -> void* { return ++half_lock_calls, &half_lock_calls; }});
    if (write_stdout("a\n") || half_lock_calls != 0) std::_Exit(2);
    set_host_lock({.reacquire = [](void*) noexcept { ++half_lock_calls; }});
    if (write_stdout("b\n") || half_lock_calls != 0) std::_Exit(3);
    std::_Exit(0);
}

TEST(LogStdoutDeathTest, HalfAHostLockIsNoLock) {
    EXPECT_EXIT(half_host_lock_scenario(), ::testing::ExitedWithCode(0), "");
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

}  // namespace
}  // namespace vorna::log
