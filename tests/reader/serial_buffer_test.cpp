#include "reader/serial_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>

namespace winorvex {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kLimit = 1023;

// Takes without waiting; the text as the caller sees it, and the count.
std::string TakeNow(CSerialBuffer& buffer, std::size_t limit = kLimit, std::size_t* count = nullptr) {
    std::string destination(limit + 1, '#');
    const std::size_t taken =
        buffer.TakeUntil('\n', destination.data(), limit, CSerialBuffer::Clock::now(), [] { return false; });
    if (count != nullptr) *count = taken;
    return taken > 0 ? destination.substr(0, taken) : std::string();
}

void Append(CSerialBuffer& buffer, const std::string& text) {
    buffer.Append(text.data(), text.size());
}

TEST(SerialBuffer, HandsOutWholeLinesAndKeepsPartialOnesUntilTheyComplete) {
    CSerialBuffer buffer;
    Append(buffer, "aa01\r\nab02\npart");
    EXPECT_EQ(TakeNow(buffer), "aa01\r\n");
    EXPECT_EQ(TakeNow(buffer), "ab02\n");
    // Without its line feed the rest stays where it is: nothing taken, nothing lost.
    std::size_t count = 99;
    EXPECT_EQ(TakeNow(buffer, kLimit, &count), "");
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(buffer.Unread(), 4u);
    EXPECT_FALSE(buffer.HasWhole('\n', kLimit));
    Append(buffer, "ial\n");
    EXPECT_TRUE(buffer.HasWhole('\n', kLimit));
    EXPECT_EQ(TakeNow(buffer), "partial\n");
    EXPECT_EQ(buffer.Unread(), 0u);
}

TEST(SerialBuffer, TextEndsAtTheFirstZeroByteOfAChunk) {
    CSerialBuffer buffer;
    const std::string chunk("ab\n\0cd\n", 7);
    EXPECT_EQ(buffer.Append(chunk.data(), chunk.size()), 0u);
    EXPECT_EQ(TakeNow(buffer), "ab\n");
    EXPECT_EQ(buffer.Unread(), 0u);
    const std::string leadingZero("\0xyz\n", 5);
    buffer.Append(leadingZero.data(), leadingZero.size());
    EXPECT_EQ(buffer.Unread(), 0u);
}

TEST(SerialBuffer, RunsLongerThanTheLimitComeOutInPiecesOfTheLimit) {
    CSerialBuffer buffer;
    const std::string run(2500, 'x');
    Append(buffer, run + "\n");
    std::string rebuilt;
    std::size_t count = 0;
    std::string piece = TakeNow(buffer, kLimit, &count);
    EXPECT_EQ(count, kLimit);
    rebuilt += piece;
    piece = TakeNow(buffer, kLimit, &count);
    EXPECT_EQ(count, kLimit);
    rebuilt += piece;
    piece = TakeNow(buffer, kLimit, &count);
    EXPECT_EQ(count, 2500 - 2 * kLimit + 1);
    rebuilt += piece;
    EXPECT_EQ(rebuilt, run + "\n");

    // A line feed at exactly the limit still comes with its line.
    Append(buffer, std::string(kLimit - 1, 'y') + "\n");
    EXPECT_EQ(TakeNow(buffer, kLimit, &count).back(), '\n');
    EXPECT_EQ(count, kLimit);
}

TEST(SerialBuffer, WhenFullTheOldestBytesMakeRoomAndAreCounted) {
    CSerialBuffer buffer;
    // Numbered bytes, so that what survives shows which ones went.
    std::string all;
    for (int i = 0; i < 5000; ++i) all += static_cast<char>('A' + i % 26);
    std::size_t dropped = 0;
    for (std::size_t at = 0; at < all.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, all.size() - at);
        dropped += buffer.Append(all.data() + at, n);
    }
    EXPECT_EQ(dropped, 5000u - CSerialBuffer::kCapacity);
    EXPECT_EQ(buffer.DroppedTotal(), dropped);
    EXPECT_EQ(buffer.Unread(), CSerialBuffer::kCapacity);
    EXPECT_EQ(TakeNow(buffer), all.substr(dropped, kLimit));

    // One append larger than the whole buffer keeps its newest part only.
    CSerialBuffer other;
    Append(other, "old\n");
    EXPECT_EQ(other.Append(all.data(), all.size()), 4u + 5000u - CSerialBuffer::kCapacity);
    EXPECT_EQ(other.Unread(), CSerialBuffer::kCapacity);
    EXPECT_EQ(TakeNow(other), all.substr(5000 - CSerialBuffer::kCapacity, kLimit));
}

TEST(SerialBuffer, AWaitingTakerWakesForDataAndForInterruption) {
    CSerialBuffer buffer;
    auto waiting = std::async(std::launch::async, [&buffer] {
        std::string destination(kLimit + 1, '\0');
        const std::size_t n =
            buffer.TakeUntil('\n', destination.data(), kLimit, CSerialBuffer::Clock::now() + 10s, [] { return false; });
        return destination.substr(0, n);
    });
    Append(buffer, "first ");
    Append(buffer, "line\n");
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), "first line\n");

    std::atomic<bool> interrupted{false};
    auto blocked = std::async(std::launch::async, [&] {
        std::string destination(kLimit + 1, '\0');
        return buffer.TakeUntil('\n', destination.data(), kLimit, CSerialBuffer::Clock::now() + 10s,
                                [&] { return interrupted.load(); });
    });
    interrupted.store(true);
    buffer.Wake();
    ASSERT_EQ(blocked.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(blocked.get(), 0u);
}

}  // namespace
}  // namespace winorvex
