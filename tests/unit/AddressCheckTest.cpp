#include "AddressCheck.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CheckAddressText, acceptsFourPartsWithinTheirBounds)
{
    for (const char* text : {"10.0.0.254", "192.168.1.10", "0.0.0.0", "255.255.255.0", "1.2.3.4"})
        EXPECT_TRUE(CheckAddressText(text)) << text;
}

TEST(CheckAddressText, refusesMalformedOrOutOfRangeAddresses)
{
    for (const char* text :
         {"192.168.1.255", "255.255.255.255", "1.2.3.", "1.2.3.4.9", "1.2.3", ".1.2.3",
          "1.2.3.1000", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d", "", "0001.2.3.4", "1.2.3.-4"})
        EXPECT_FALSE(CheckAddressText(text)) << text;
}

TEST(CheckAddressText, refusesTextsLongerThan127Bytes)
{
    EXPECT_FALSE(CheckAddressText("1.2.3.4" + std::string(121, ' ')));
}

TEST(IsSameSegment, comparesEachPartUnderTheMask)
{
    EXPECT_TRUE(IsSameSegment("192.168.1.10", "255.255.255.0", "192.168.1.1"));
    EXPECT_FALSE(IsSameSegment("192.168.1.10", "255.255.255.0", "192.168.2.1"));
    EXPECT_TRUE(IsSameSegment("10.1.2.3", "255.0.0.0", "10.200.0.1"));
    EXPECT_FALSE(IsSameSegment("10.1.2.3", "255.255.0.0", "10.2.0.1"));
}

TEST(LeadingNumber, readsOnlyTheLeadingDigits)
{
    EXPECT_EQ(LeadingNumber("12a"), 12);
    EXPECT_EQ(LeadingNumber("a12"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
}

} // namespace
