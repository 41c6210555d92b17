// The token gate's throttle on its own, on a clock the test moves: turns, and what it keeps.
#include "TokenGate.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = TokenGate::Clock;

TokenGate::Throttle throttle(int wrongTries, size_t maxAddresses = 4096)
{
    TokenGate::Throttle t;
    t.wrongTries = wrongTries;
    t.maxAddresses = maxAddresses;
    return t;
}

TEST(TokenGate, triesOfAThrottledAddressTakeTurnsRightOrWrong)
{
    TokenGate gate("s3cret", throttle(3));
    const Clock::time_point t0 = Clock::now();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(gate.Wait("10.0.0.1", t0), 0s);
        EXPECT_FALSE(gate.Judge("10.0.0.1", "guess", t0));
    }
    EXPECT_EQ(gate.Wait("10.0.0.1", t0), 1s);
    EXPECT_EQ(gate.Wait("10.0.0.1", t0), 2s);
    EXPECT_EQ(gate.Wait("10.0.0.2", t0), 0s);
    EXPECT_TRUE(gate.Judge("10.0.0.1", "s3cret", t0 + 1s));
    // Turns already taken stay taken; a try after a quiet spell waits for none.
    EXPECT_EQ(gate.Wait("10.0.0.1", t0 + 10s), 0s);
    EXPECT_EQ(gate.Wait("10.0.0.1", t0 + 10s), 1s);
}

TEST(TokenGate, anAddressIsForgottenOnceItsWindowHasPassed)
{
    TokenGate gate("s3cret", throttle(2));
    const Clock::time_point t0 = Clock::now();
    for (const char* address : {"10.0.0.1", "10.0.0.1", "10.0.0.2", "10.0.0.3"})
        gate.Judge(address, "guess", t0);
    EXPECT_EQ(gate.AddressesKept(), 3u);
    EXPECT_GT(gate.Wait("10.0.0.1", t0), 0s);
    gate.Judge("10.0.0.4", "guess", t0 + 61s);
    EXPECT_EQ(gate.AddressesKept(), 1u);
    EXPECT_EQ(gate.Wait("10.0.0.1", t0 + 61s), 0s);
}

TEST(TokenGate, manyAddressesKeepABoundedTableDroppingTheOldest)
{
    TokenGate gate("s3cret", throttle(1, 4));
    const Clock::time_point t0 = Clock::now();
    for (int i = 0; i < 6; ++i)
        gate.Judge(QStringLiteral("10.0.0.%1").arg(i), "guess", t0 + i * 1ms);
    EXPECT_EQ(gate.AddressesKept(), 4u);
    EXPECT_EQ(gate.Wait("10.0.0.0", t0 + 10ms), 0s);
    EXPECT_GT(gate.Wait("10.0.0.5", t0 + 10ms), 0s);
}

TEST(TokenGate, aNewTokenHoldsForTheNextTry)
{
    TokenGate gate("old", throttle(10));
    gate.SetToken("new");
    EXPECT_FALSE(gate.Judge("10.0.0.1", "old"));
    EXPECT_TRUE(gate.Judge("10.0.0.1", "new"));
}

} // namespace
