#include "AddressCheck.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Verdict {
    std::string text;
    AddressFault fault;
    const char* reason; // a part of the reason that says what is wrong
};

void PrintTo(const Verdict& v, std::ostream* out) { *out << "'" << v.text << "'"; }

class AddressVerdicts : public ::testing::TestWithParam<Verdict> {};

TEST_P(AddressVerdicts, saysWhetherAndWhyAnAddressIsRefused)
{
    const Verdict& expected = GetParam();
    const AddressVerdict verdict = CheckAddress(expected.text);
    EXPECT_EQ(verdict.fault, expected.fault);
    EXPECT_NE(verdict.reason.find(expected.reason), std::string::npos) << verdict.reason;
    EXPECT_EQ(verdict.passes(), verdict.reason.empty()) << verdict.reason;
}

constexpr AddressFault kOk = AddressFault::None;
constexpr AddressFault kMalformed = AddressFault::Malformed;
constexpr AddressFault kLeadingZero = AddressFault::LeadingZero;

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressVerdicts,
    ::testing::Values(
        Verdict{"10.0.0.254", kOk, ""}, Verdict{"192.168.1.10", kOk, ""},
        Verdict{"0.0.0.0", kOk, ""}, Verdict{"255.255.255.0", kOk, ""},
        Verdict{"192.168.1.255", kMalformed, "last part is above 254"},
        Verdict{"255.255.255.255", kMalformed, "above 254"},
        Verdict{"256.1.1.1", kMalformed, "part 1 is above 255"},
        Verdict{"1.2.3.", kMalformed, "empty part"}, Verdict{"1..2.3", kMalformed, "empty part"},
        Verdict{".1.2.3", kMalformed, "empty part"},
        Verdict{"1.2.3.4.9", kMalformed, "four numbers joined by dots"},
        Verdict{"1.2.3", kMalformed, "four numbers joined by dots"},
        Verdict{"1.2.3.1000", kMalformed, "part 4 has more than three digits"},
        Verdict{"0001.2.3.4", kMalformed, "more than three digits"},
        Verdict{" 1.2.3.4", kMalformed, "' 1.2.3.4' contains a blank"},
        Verdict{"1.2.3.4 ", kMalformed, "blank"}, Verdict{"1.2.\t3.4", kMalformed, "blank"},
        Verdict{"+1.2.3.4", kMalformed, "'+1.2.3.4' contains a sign"},
        Verdict{"1.2.3.-4", kMalformed, "sign"},
        Verdict{"a.b.c.d", kMalformed, "only digits and dots"}, Verdict{"", kMalformed, "empty"},
        Verdict{"1.2.3.4" + std::string(121, '0'), kMalformed, "longer than 127"},
        // Leading zeros pass the old form check; they are refused for their own reason.
        Verdict{"010.2.3.4", kLeadingZero, "'010.2.3.4': part 1 has a leading zero"},
        Verdict{"10.2.3.04", kLeadingZero, "part 4 has a leading zero"},
        Verdict{"00.2.3.4", kLeadingZero, "leading zero"},
        // An old fault outweighs a leading zero: the page keeps its old message for it.
        Verdict{"010.2.3.255", kMalformed, "above 254"}));

TEST(CheckMask, refusesMasksWhoseOneBitsAreNotOneRunFromTheLeft)
{
    for (const char* mask : {"255.0.0.0", "255.255.0.0", "255.255.255.0", "128.0.0.0",
                             "255.255.255.252", "255.255.255.254", "255.255.240.0"})
        EXPECT_TRUE(CheckMask(mask).passes()) << mask << ": " << CheckMask(mask).reason;
    for (const char* mask :
         {"255.0.255.0", "0.0.0.0", "0.255.255.0", "255.255.0.1", "254.255.0.0"}) {
        const AddressVerdict verdict = CheckMask(mask);
        EXPECT_EQ(verdict.fault, AddressFault::NotAMask) << mask;
        EXPECT_NE(verdict.reason.find(std::string("'") + mask + "' is not a subnet mask"),
                  std::string::npos)
            << verdict.reason;
    }
    EXPECT_EQ(CheckMask("255.255.255.255").fault, AddressFault::Malformed);
    EXPECT_EQ(CheckMask("255.255.0.00").fault, AddressFault::LeadingZero);
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
