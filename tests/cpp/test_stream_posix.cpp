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

[[noreturn]] void host_lock_scenario() {
    int ends[2];
    if (::pipe(ends) != 0 || ::dup2(ends[1], STDOUT_FILENO) != STDOUT_FILENO) std::_Exit(1);
    ::fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
    set_host_lock({[]() noexcept -> void* {
                       if (host_held && !released_before_the_stdout_lock) {
                           // Free for another thread: this one does not hold it yet.
                           std::thread([] {
                               released_before_the_stdout_lock = stdout_lock().try_lock();
                               if (released_before_the_stdout_lock) stdout_lock().unlock();
                           }).join();
                       }
                       host_held = false;
                       return &host_held;
                   },
                   [](void*) noexcept { host_held = true; }});
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
    std::_Exit(0);
}

// The host lock is given up before the standard-output lock is taken and
// held again for the check after a partial write; the bytes that went out
// before the pipe refused more are counted.
TEST(LogStdoutDeathTest, HostLockGivenUpAroundTheWrite) {
    EXPECT_EXIT(host_lock_scenario(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vorna::log
