#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ios>
#include <string>
#include <thread>
#include <vector>

#include "core/log/stdout.hpp"
#include "core/platform/clock.hpp"
#include "core/platform/console.hpp"
#include "core/platform/first_stored.hpp"
#include "core/platform/thread.hpp"
#include "native_stream.hpp"

namespace vorna::platform {
namespace {

struct Utf16Case {
    std::string name;
    std::string utf8;
    std::u16string utf16;
};

class PlatformUtf16 : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(PlatformUtf16, ConsoleTextIsUtf16) { EXPECT_EQ(utf16_from_utf8(GetParam().utf8), GetParam().utf16); }

INSTANTIATE_TEST_SUITE_P(
    Texts, PlatformUtf16,
    ::testing::Values(Utf16Case{"Ascii", "Got version: 1.2.3\n", u"Got version: 1.2.3\n"},
                      Utf16Case{"BoxDrawingAndAccents", "\xe2\x95\xad\xe2\x94\x80[ caf\xc3\xa9 ]",
                                u"\u256d\u2500[ caf\u00e9 ]"},
                      Utf16Case{"SurrogatePair", "\xf0\x9d\x84\x9e", u"\xd834\xdd1e"},
                      Utf16Case{"MalformedBytes", "a\xff" "b\xe2\x94", u"a\ufffd" u"b\ufffd\ufffd"}),
    [](const ::testing::TestParamInfo<Utf16Case>& info) { return info.param.name; });

// Errno values keep their C library text on every system (on Windows the
// system category would read errno 28 as a Windows code).
struct ErrnoCase {
    int number;
    std::string text;
};

class PlatformErrnoText : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(PlatformErrnoText, NamesTheErrnoValue) {
    const ErrnoCase& c = GetParam();
    EXPECT_EQ(log::describe_write_error(std::error_code(c.number, std::generic_category())), c.text);
}

INSTANTIATE_TEST_SUITE_P(Errors, PlatformErrnoText,
                         ::testing::Values(ErrnoCase{ENOSPC, "No space left on device (errno 28)"},
                                           ErrnoCase{EPIPE, "Broken pipe (errno 32)"},
                                           ErrnoCase{EBADF, "Bad file descriptor (errno 9)"}),
                         [](const ::testing::TestParamInfo<ErrnoCase>& info) {
                             return "Errno" + std::to_string(info.param.number);
                         });

// A system error keeps its number beside its text, and is told apart by the
// errno its category maps it to (how Windows errors reach Python's classes);
// an error of any other category has neither.
TEST(PlatformErrorKinds, SuffixAndErrnoByCategory) {
#ifdef _WIN32
    const int broken_pipe = 109;  // ERROR_BROKEN_PIPE: a system error number is the OS's own
#else
    const int broken_pipe = EPIPE;
#endif
    const std::error_code system(broken_pipe, std::system_category());
    EXPECT_EQ(log::describe_write_error(system),
              system.message() + " (system error " + std::to_string(broken_pipe) + ")");
    EXPECT_EQ(log::errno_of(system), EPIPE);
    EXPECT_EQ(log::errno_of(std::error_code(ENOSPC, std::generic_category())), ENOSPC);
    const std::error_code other = std::make_error_code(std::io_errc::stream);
    EXPECT_EQ(log::describe_write_error(other), other.message());
    EXPECT_EQ(log::errno_of(other), 0);
}

TEST(PlatformStream, FilesAndPipesAreStreamsButNotTerminals) {
    const Handle file = test_support::make_temp_file();
    const test_support::Pipe pipe = test_support::make_pipe();
    EXPECT_TRUE(has_stream(file));
    EXPECT_TRUE(has_stream(pipe.write));
    EXPECT_FALSE(has_stream(test_support::no_stream()));
    EXPECT_FALSE(is_terminal(file));
    EXPECT_FALSE(is_terminal(pipe.write));
    EXPECT_FALSE(is_terminal(test_support::no_stream()));
    test_support::close_handle(file);
    test_support::close_handle(pipe.read);
    test_support::close_handle(pipe.write);
}

TEST(PlatformStream, FileGetsTheBytesUnchanged) {
    const Handle file = test_support::make_temp_file();
    const std::string bytes = "a\nb\r\n\xe2\x94\x80\xff\n";
    EXPECT_FALSE(write_all(file, bytes));
    EXPECT_EQ(test_support::read_all(file), bytes);
    test_support::close_handle(file);
}

TEST(PlatformClock, WallClockIsUtcSinceTheEpoch) {
    const auto expected = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch()).count();
    const std::optional<WallTime> now = wall_clock();
    ASSERT_TRUE(now);
    EXPECT_LT(now->nanoseconds, 1'000'000'000u);
    EXPECT_NEAR(static_cast<double>(now->seconds), static_cast<double>(expected), 5.0);
}

std::atomic<int> live_objects{0};

struct Counted {
    Counted() { ++live_objects; }
    ~Counted() { --live_objects; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    int value = 0;
};

TEST(PlatformThread, ThreadObjectsAreOwnPerThreadAndDestroyedAtThreadExit) {
    Counted& mine = this_thread_object<Counted>();
    mine.value = 1;
    const int before = live_objects;
    std::thread([before] {
        EXPECT_EQ(this_thread_object_if_any<Counted>(), nullptr);
        Counted& theirs = this_thread_object<Counted>();
        theirs.value = 2;
        EXPECT_EQ(&this_thread_object<Counted>(), &theirs);
        EXPECT_EQ(live_objects, before + 1);
    }).join();
    EXPECT_EQ(live_objects, before);
    EXPECT_EQ(this_thread_object<Counted>().value, 1);
    EXPECT_EQ(&this_thread_object<Counted>(), &mine);
}

// A failed making stores nothing; the first value stored stands for every
// caller, also when threads race to store theirs.
TEST(PlatformFirstStored, FirstValueStoredStands) {
    FirstStored<int> slot;
    EXPECT_EQ(slot.get_or_store([] { return 0; }), 0);
    EXPECT_EQ(slot.get_or_store([] { return 7; }), 7);
    EXPECT_EQ(slot.store_first(9), 7);
    EXPECT_EQ(slot.get_or_store([] { return 8; }), 7);

    FirstStored<int> raced;
    std::atomic<int> go{0};
    int seen[8] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            while (go.load() == 0) {
            }
            seen[i] = raced.store_first(i + 1);
        });
    }
    go.store(1);
    for (std::thread& t : threads) t.join();
    for (const int value : seen) EXPECT_EQ(value, raced.load());
    EXPECT_NE(raced.load(), 0);
}

}  // namespace
}  // namespace vorna::platform
