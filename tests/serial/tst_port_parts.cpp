// The port object's pure parts: what it holds unread, what identifies an adapter, a server's
// refusal told apart from the matrix's bytes, and what Windows' open errors mean.
#include "AdapterIdentity.h"
#include "ReceiveQueue.h"
#include "ServerRefusal.h"
#include "WindowsOpenError.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
struct QueueCase {
    const char* what;
    std::vector<const char*> chunks;
    const char* held;
    qint64 dropped;
};

class ReceiveQueueTest : public testing::TestWithParam<QueueCase> {};

// Bound 8: past it the oldest bytes go, whatever chunks they came in.
TEST_P(ReceiveQueueTest, keepsTheNewestBytesUpToItsBound)
{
    ReceiveQueue queue(8);
    for (const char* chunk : GetParam().chunks)
        queue.append(QByteArray(chunk));
    EXPECT_EQ(queue.takeDropped(), GetParam().dropped);
    EXPECT_EQ(queue.size(), qsizetype(strlen(GetParam().held)));
    EXPECT_EQ(queue.take(-1), QByteArray(GetParam().held));
    EXPECT_EQ(queue.size(), 0);
    EXPECT_EQ(queue.takeDropped(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, ReceiveQueueTest,
    testing::Values(QueueCase{"underTheBound", {"ab", "cde"}, "abcde", 0},
                    QueueCase{"exactlyTheBound", {"abcd", "efgh"}, "abcdefgh", 0},
                    QueueCase{"oneOver", {"abcd", "efgh", "i"}, "bcdefghi", 1},
                    QueueCase{"dropSpansChunks", {"ab", "cd", "efg", "hijkl"}, "efghijkl", 4},
                    QueueCase{"oneChunkPastTheBound", {"xy", "0123456789"}, "23456789", 4},
                    QueueCase{"nothing", {}, "", 0}),
    [](const testing::TestParamInfo<QueueCase>& p) { return p.param.what; });

AdapterIdentity Identity(const char* serial, std::optional<quint16> vendor,
                         std::optional<quint16> product)
{
    return {QString::fromUtf8(serial), vendor, product};
}

struct IdentityCase {
    const char* what;
    AdapterIdentity remembered;
    AdapterIdentity candidate;
    bool admitted;
};

class AdapterIdentityTest : public testing::TestWithParam<IdentityCase> {};

TEST_P(AdapterIdentityTest, admitsOnlyWhatAgreesWithEverythingKnown)
{
    EXPECT_EQ(GetParam().remembered.admits(GetParam().candidate), GetParam().admitted);
}

const AdapterIdentity kFtdi = Identity("A10K3XYZ", 0x0403, 0x6001);

INSTANTIATE_TEST_SUITE_P(
    Adapters, AdapterIdentityTest,
    testing::Values(
        IdentityCase{"sameAdapter", kFtdi, kFtdi, true},
        IdentityCase{"otherSerialSameModel", kFtdi, Identity("A10K3ABC", 0x0403, 0x6001), false},
        IdentityCase{"sameSerialOtherVendor", kFtdi, Identity("A10K3XYZ", 0x067b, 0x6001), false},
        IdentityCase{"deviceWithoutDetails", kFtdi, Identity("", {}, {}), false},
        IdentityCase{"noSerialSameModel", Identity("", 0x1a86, 0x7523),
                     Identity("", 0x1a86, 0x7523), true},
        IdentityCase{"noSerialOtherModel", Identity("", 0x1a86, 0x7523),
                     Identity("", 0x0403, 0x6001), false},
        IdentityCase{"nothingKnown", Identity("", {}, {}), kFtdi, true}),
    [](const testing::TestParamInfo<IdentityCase>& p) { return p.param.what; });

struct RefusalCase {
    const char* what;
    std::vector<const char*> chunks;
    bool closed;        // the stream ends after the chunks
    const char* passed; // what reaches the reader
    PortOpenError refusal;
    const char* text;
};

class ServerRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(ServerRefusalTest, holdsBackOnlyWhatMayBeARefusal)
{
    ServerRefusal watch(QStringLiteral("matrix.lan:4001"));
    QByteArray passed;
    for (const char* chunk : GetParam().chunks)
        passed += watch.Pass(QByteArray(chunk));
    if (GetParam().closed)
        watch.AtEnd();
    EXPECT_EQ(passed, QByteArray(GetParam().passed));
    const PortOpenError refusal = watch.Refusal() ? watch.Refusal()->error : PortOpenError::None;
    EXPECT_EQ(refusal, GetParam().refusal);
    if (watch.Refusal()) {
        EXPECT_EQ(watch.Refusal()->text, QString::fromUtf8(GetParam().text));
    }
}

const char kNeeds[] = "the server at matrix.lan:4001 needs a token (--token-file)";

INSTANTIATE_TEST_SUITE_P(
    Streams, ServerRefusalTest,
    testing::Values(
        RefusalCase{"wrongToken",
                    {"tavloctl serve: wrong token; closing\n"},
                    true,
                    "",
                    PortOpenError::TokenRefused,
                    "the server refused the token"},
        RefusalCase{"noTokenInPieces",
                    {"tavlo", "ctl serve: this server needs its ", "token first; closing\n"},
                    false,
                    "",
                    PortOpenError::TokenNeeded,
                    kNeeds},
        RefusalCase{"deadline",
                    {"tavloctl serve: no token within 10 s; closing"},
                    true,
                    "",
                    PortOpenError::TokenNeeded,
                    kNeeds},
        RefusalCase{"otherRefusal",
                    {"tavloctl serve: the server already has 64 clients; try "
                     "again later\n"},
                    true,
                    "",
                    PortOpenError::Other,
                    "the server at matrix.lan:4001 refused: the server already has 64 clients; "
                    "try again later"},
        RefusalCase{"matrixBytes",
                    {"\x6d\x61ster", "\x02\x05"},
                    false,
                    "\x6d\x61ster\x02\x05",
                    PortOpenError::None,
                    ""},
        RefusalCase{"prefixThenOther",
                    {"tavl", "x and more"},
                    false,
                    "tavlx and more",
                    PortOpenError::None,
                    ""},
        RefusalCase{"laterTextPasses",
                    {"#", "tavloctl serve: wrong token\n"},
                    true,
                    "#tavloctl serve: wrong token\n",
                    PortOpenError::None,
                    ""},
        RefusalCase{"cutShortIsNoRefusal", {"tavloctl se"}, true, "", PortOpenError::None, ""}),
    [](const testing::TestParamInfo<RefusalCase>& p) { return p.param.what; });
} // namespace

namespace {
struct WindowsErrorCase {
    const char* what;
    std::uint32_t code;
    PortOpenError error;
    const char* text;
};

class WindowsOpenErrorTest : public testing::TestWithParam<WindowsErrorCase> {};

// What opening a COM port ends with on Windows, in the operator's words.
TEST_P(WindowsOpenErrorTest, saysWhyTheComPortDidNotOpen)
{
    const PortOpenFailure failure = OpenFailureForWindowsError(GetParam().code, "detail");
    EXPECT_EQ(failure.error, GetParam().error);
    EXPECT_EQ(failure.text.toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, WindowsOpenErrorTest,
    testing::Values(
        WindowsErrorCase{"fileNotFound", 2, PortOpenError::Missing, "no such port"},
        WindowsErrorCase{"pathNotFound", 3, PortOpenError::Missing, "no such port"},
        WindowsErrorCase{"accessDenied", 5, PortOpenError::Busy,
                         "access denied: held by another program"},
        WindowsErrorCase{"sharingViolation", 32, PortOpenError::Busy, "held by another program"},
        WindowsErrorCase{"unknown", 1117, PortOpenError::Other, "detail (Windows error 1117)"}),
    [](const testing::TestParamInfo<WindowsErrorCase>& p) { return p.param.what; });
} // namespace
