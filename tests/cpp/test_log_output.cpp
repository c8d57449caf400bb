#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/log/log.hpp"
#include "core/log/span.hpp"
#include "core/log/stdout.hpp"
#include "core/log/subscriber.hpp"
#include "core/log/thread_id.hpp"
#include "core/log/timestamp.hpp"
#include "native_stream.hpp"

#include "log_capture.hpp"

namespace vorna::log {
namespace {

using namespace examples;
using test_support::close_handle;
using test_support::make_temp_file;
using test_support::read_all;

// ---------------------------------------------------------------------------
// Re-entrancy and buffer reuse

TEST(LogReentrancy, RecordLoggedWhileFormattingAnotherComesOutWhole) {
    Captured captured;
    FormattingSubscriber* self = nullptr;
    bool nested_logged = false;
    const std::vector<Field> inner_fields = {{"message", "inner"}};
    // Reading the clock logs a record of its own, once.
    const Clock logging_clock = [&] {
        if (!nested_logged) {
            nested_logged = true;
            self->record(example_record(inner_fields, Level::warn));
        }
        return std::optional<Timestamp>(example_time);
    };
    FormattingSubscriber subscriber = capturing(captured, false, logging_clock);
    self = &subscriber;

    subscriber.record(example_record(loaded_count));
    const std::string inner_text = "  2024-05-01T09:30:00.000123Z  WARN vorna::package: inner\n" + example_at;
    EXPECT_EQ(captured.text, inner_text + std::string(example_text));

    // The thread's buffer is cleared after each record and serves the next.
    const std::vector<Field> after = {{"message", "after"}};
    subscriber.record(example_record(after));
    EXPECT_EQ(captured.text, inner_text + std::string(example_text) +
                                 "  2024-05-01T09:30:00.000123Z  INFO vorna::package: after\n" + example_at);
}

// ---------------------------------------------------------------------------
// Failures

TEST(LogFailure, UnformattableRecordIsReplacedByALine) {
    Captured captured;
    FormattingSubscriber subscriber =
        capturing(captured, false, example_clock, []() -> std::uint64_t { throw std::runtime_error("no thread"); });
    const std::vector<Field> fields = {{"message", "loaded"}, {"count", 3}, {"log.line", 12}};
    subscriber.record(example_record(fields));
    EXPECT_EQ(captured.text, "Unable to format the following event. Name: event src/lib:12; "
                             "Fields: [message: \"loaded\", count: 3, log.line: 12]\n");
}

TEST(LogFailure, FailedWriteIsReportedNotThrown) {
    Captured captured;
    captured.failure = std::make_error_code(std::errc::no_space_on_device);
    FormattingSubscriber subscriber = capturing(captured);
    subscriber.record(example_record(loaded_count));
    EXPECT_TRUE(captured.text.empty());
    ASSERT_EQ(captured.reports.size(), 1u);
    EXPECT_EQ(captured.reports[0], "vorna: unable to write a log record: " + captured.failure.message() + " (errno " +
                                       std::to_string(ENOSPC) + ")");
}

TEST(LogFailure, MissingOutputDiscardsSilently) {
    const platform::Handle err = make_temp_file();
    FormattingSubscriber subscriber(false, example_clock, thread_one,
                                    std::make_unique<StreamOutput>(test_support::no_stream(), err));
    subscriber.record(example_record(loaded_count));
    EXPECT_EQ(read_all(err), "");
    close_handle(err);
}

TEST(LogStdout, WriteAllWritesEverything) {
    const platform::Handle file = make_temp_file();
    const std::string big(1 << 20, 'v');
    EXPECT_FALSE(platform::write_all(file, big));
    EXPECT_EQ(read_all(file), big);
    close_handle(file);
}

TEST(LogStdout, LockIsReentrantAcrossAWrite) {
    const platform::Handle out = make_temp_file();
    FormattingSubscriber subscriber(false, example_clock, thread_one,
                                    std::make_unique<StreamOutput>(out, test_support::no_stream()));
    {
        // A caller that holds the lock (as a line writer might) can still log.
        const std::lock_guard held(stdout_lock());
        subscriber.record(example_record(loaded_count));
    }
    EXPECT_EQ(read_all(out), example_text);
    close_handle(out);
}

TEST(LogStdout, TryLockFailsWhileAnotherThreadHoldsTheLock) {
    // The exit writer takes the lock this way: answering yes beside a holder
    // would let it write inside that holder's line.
    std::atomic<int> step{0};
    std::thread holder([&step] {
        stdout_lock().lock();
        step = 1;
        while (step != 2) std::this_thread::yield();
        stdout_lock().unlock();
        step = 3;
    });
    while (step != 1) std::this_thread::yield();
    EXPECT_FALSE(stdout_lock().try_lock());
    step = 2;
    while (step != 3) std::this_thread::yield();
    EXPECT_TRUE(stdout_lock().try_lock());
    stdout_lock().unlock();
    holder.join();
}

// ---------------------------------------------------------------------------
// Installation and dispatch (in child processes: the slot is process-wide and
// can be filled only once)

struct Counting final : public Output {
    explicit Counting(Captured& c, std::atomic<int>* destroyed = nullptr) : capture(c), destroyed(destroyed) {}
    ~Counting() override {
        if (destroyed) ++*destroyed;
    }
    std::error_code write(std::string_view text) noexcept override { return capture.write(text); }
    void report(std::string_view line) noexcept override { capture.report(line); }
    CaptureOutput capture;
    std::atomic<int>* destroyed;
};

std::unique_ptr<Subscriber> counting_subscriber(Captured& captured, std::atomic<int>* destroyed = nullptr) {
    return std::make_unique<FormattingSubscriber>(false, example_clock, thread_one,
                                                  std::make_unique<Counting>(captured, destroyed));
}

int evaluations = 0;
int evaluated() { return ++evaluations; }

[[noreturn]] void install_scenario() {
    static Captured first;
    static Captured second;
    static std::atomic<int> second_destroyed{0};

    if (enabled(Level::error)) std::_Exit(1);
    VORNA_LOG(Level::error, "vorna::test", {"message", "before"}, {"n", evaluated()});
    if (evaluations != 0) std::_Exit(2);  // fields are not even built
    dispatch(example_record(loaded_count));  // discarded, not kept for later

    if (!install_global_subscriber(counting_subscriber(first))) std::_Exit(3);
    if (!enabled(Level::error) || !enabled(Level::warn) || !enabled(Level::info)) std::_Exit(4);
    if (enabled(Level::debug) || enabled(Level::trace)) std::_Exit(5);
    if (!first.text.empty()) std::_Exit(6);

    if (install_global_subscriber(counting_subscriber(second, &second_destroyed))) std::_Exit(7);
    if (second_destroyed != 1) std::_Exit(8);
    if (install_global_subscriber(nullptr)) std::_Exit(9);

    VORNA_LOG(Level::info, "vorna::test", {"message", "after"}, {"n", evaluated()});
    const std::string expected_start = "  2024-05-01T09:30:00.000123Z  INFO vorna::test: after, n: 1\n    at ";
    if (first.text.rfind(expected_start, 0) != 0) std::_Exit(10);
    if (first.text.find("test_log_output.cpp:") == std::string::npos) std::_Exit(11);
    if (!second.text.empty()) std::_Exit(12);

    VORNA_LOG(Level::debug, "vorna::test", {"message", "chatter"}, {"n", evaluated()});
    if (evaluations != 1) std::_Exit(13);

    const Span span("vorna", "scope");
    VORNA_LOG_IN(span, Level::warn, "vorna::test", {"message", "inside"});
    if (first.text.find(" WARN vorna::test: inside\n") == std::string::npos) std::_Exit(14);
    if (first.text.find("\n    in vorna::scope\n\n") == std::string::npos) std::_Exit(15);
    std::_Exit(0);
}

TEST(LogInstallDeathTest, FirstInstallationStaysInForce) {
    EXPECT_EXIT(install_scenario(), ::testing::ExitedWithCode(0), "");
}

[[noreturn]] void racing_install_scenario() {
    static Captured captured[8];
    std::atomic<bool> go{false};
    std::atomic<int> installed{0};
    std::vector<std::thread> threads;
    for (Captured& c : captured) {
        threads.emplace_back([&go, &installed, target = &c] {
            auto subscriber = counting_subscriber(*target);
            while (!go) std::this_thread::yield();
            if (install_global_subscriber(std::move(subscriber))) ++installed;
        });
    }
    go = true;
    for (std::thread& t : threads) t.join();
    std::_Exit(installed == 1 ? 0 : 1);
}

TEST(LogInstallDeathTest, ExactlyOneOfRacingInstallationsSucceeds) {
    EXPECT_EXIT(racing_install_scenario(), ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------
// Threads

TEST(LogThreads, NumbersAreStableAndDistinct) {
    const std::uint64_t mine = current_thread_number();
    EXPECT_GE(mine, 1u);
    EXPECT_EQ(current_thread_number(), mine);
    std::uint64_t other = 0;
    std::thread([&] { other = current_thread_number(); }).join();
    EXPECT_GE(other, 1u);
    EXPECT_NE(other, mine);
}

TEST(LogThreads, ConcurrentRecordsDoNotInterleave) {
    constexpr int thread_count = 4;
    constexpr int records_per_thread = 30;
    // Records far larger than a pipe's atomic write size, so only the
    // standard-output lock keeps them apart.
    constexpr std::size_t payload_size = 16 * 1024;

    const test_support::Pipe pipe = test_support::make_pipe();
    std::string received;
    std::thread reader([&] { received = read_all(pipe.read); });

    FormattingSubscriber subscriber(false, example_clock, current_thread_number,
                                    std::make_unique<StreamOutput>(pipe.write, test_support::no_stream()));
    std::mutex expected_mutex;
    std::map<std::string, int> expected;  // record text -> how many times it is still expected
    std::vector<std::thread> writers;
    for (int t = 0; t < thread_count; ++t) {
        writers.emplace_back([&, t] {
            const std::string payload(payload_size, static_cast<char>('a' + t));
            for (int r = 0; r < records_per_thread; ++r) {
                const std::string message = "t" + std::to_string(t) + " r" + std::to_string(r);
                const std::vector<Field> fields = {{"message", message}, {"payload", payload}};
                Record record = example_record(fields);
                record.target = "vorna::threads";
                record.file.reset();
                {
                    const std::lock_guard lock(expected_mutex);
                    ++expected["  2024-05-01T09:30:00.000123Z  INFO vorna::threads: " + message + ", payload: \"" +
                               payload + "\"\n    on ThreadId(" + std::to_string(current_thread_number()) + ")\n\n"];
                }
                subscriber.record(record);
            }
        });
    }
    for (std::thread& w : writers) w.join();
    close_handle(pipe.write);
    reader.join();
    close_handle(pipe.read);

    // Every record ends with an empty line, and no record has one inside.
    std::size_t pos = 0;
    int records = 0;
    while (pos < received.size()) {
        const std::size_t end = received.find("\n\n", pos);
        ASSERT_NE(end, std::string::npos) << "trailing partial record";
        const std::string record = received.substr(pos, end + 2 - pos);
        const auto it = expected.find(record);
        ASSERT_TRUE(it != expected.end() && it->second > 0)
            << "garbled record starting " << record.substr(0, 120);
        --it->second;
        ++records;
        pos = end + 2;
    }
    EXPECT_EQ(records, thread_count * records_per_thread);
}

}  // namespace
}  // namespace vorna::log
