#include "RxRingBuffer.h"

#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace {

constexpr size_t kSize = RxRingBuffer::kSize;

std::vector<uint8_t> pattern(size_t n, uint8_t start = 0)
{
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

TEST(RxRingBuffer, putOfExactlyTheFreeSpaceSucceedsAndOneMoreFails)
{
    RxRingBuffer ring;
    const auto full = pattern(kSize);
    ASSERT_TRUE(ring.Put(full.data(), kSize));
    EXPECT_EQ(ring.writePos(), kSize); // not folded to 0
    const uint8_t extra = 1;
    EXPECT_FALSE(ring.Put(&extra, 1));
    EXPECT_EQ(ring.writePos(), kSize);

    std::vector<uint8_t> out(kSize);
    ASSERT_TRUE(ring.Get(out.data(), kSize));
    EXPECT_EQ(out, full);
}

TEST(RxRingBuffer, putAtTheVeryEndWrapsToTheStart)
{
    RxRingBuffer ring;
    const auto full = pattern(kSize);
    ASSERT_TRUE(ring.Put(full.data(), kSize));
    std::vector<uint8_t> out(kSize);
    ASSERT_TRUE(ring.Get(out.data(), 10));

    const auto next = pattern(10, 200);
    ASSERT_TRUE(ring.Put(next.data(), next.size()));
    EXPECT_TRUE(ring.wrapped());
    EXPECT_EQ(ring.writePos(), 10u);

    ASSERT_TRUE(ring.Get(out.data(), kSize - 10)); // the rest of the first fill
    ASSERT_TRUE(ring.Get(out.data(), 10));
    EXPECT_FALSE(ring.wrapped());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10), next);
}

TEST(RxRingBuffer, putAcrossTheEndSplitsAndGetJoins)
{
    RxRingBuffer ring;
    std::vector<uint8_t> out(kSize);
    const auto first = pattern(kSize - 4);
    ASSERT_TRUE(ring.Put(first.data(), first.size()));
    ASSERT_TRUE(ring.Get(out.data(), first.size()));

    const auto across = pattern(12, 100);
    ASSERT_TRUE(ring.Put(across.data(), across.size()));
    EXPECT_TRUE(ring.wrapped());
    EXPECT_EQ(ring.writePos(), 8u);
    ASSERT_TRUE(ring.Get(out.data(), across.size()));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 12), across);
    EXPECT_EQ(ring.readPos(), 8u);
}

TEST(RxRingBuffer, getOfMoreThanAvailableLeavesPositionsUnchanged)
{
    RxRingBuffer ring;
    const auto bytes = pattern(5);
    ASSERT_TRUE(ring.Put(bytes.data(), bytes.size()));
    std::vector<uint8_t> out(6, 0xEE);
    EXPECT_FALSE(ring.Get(out.data(), 6));
    EXPECT_EQ(ring.readPos(), 0u);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_TRUE(ring.Get(out.data(), 5));
}

TEST(RxRingBuffer, emptyPutAndGetAreAllowed)
{
    RxRingBuffer ring;
    uint8_t none = 0;
    EXPECT_TRUE(ring.Put(&none, 0));
    EXPECT_TRUE(ring.Get(&none, 0));
    EXPECT_EQ(ring.writePos(), 0u);
}

} // namespace
