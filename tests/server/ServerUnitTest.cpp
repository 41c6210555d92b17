// The server's pieces that need no socket: the fair queue, and JSON requests read into the
// shared requests.
#include "ApiRequests.h"
#include "FairQueue.h"
#include "Refusal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

WireCommand command(uint64_t source, const char* bytes)
{
    WireCommand c;
    c.source = source;
    c.bytes = bytes;
    return c;
}

std::vector<std::string> popAll(FairQueue& queue)
{
    std::vector<std::string> order;
    while (auto c = queue.pop())
        order.push_back(std::to_string(c->source) + ":" + c->bytes.toStdString());
    return order;
}

TEST(FairQueue, servesClientsInTurnKeepingEachOnesOrder)
{
    FairQueue queue;
    ASSERT_EQ(
        queue.push({command(1, "a"), command(1, "b"), command(1, "c"), command(1, "d")}, 8, 100),
        FairQueue::Push::Taken);
    ASSERT_EQ(queue.push({command(2, "x"), command(2, "y")}, 8, 100), FairQueue::Push::Taken);
    ASSERT_EQ(queue.push({command(3, "z")}, 8, 100), FairQueue::Push::Taken);
    EXPECT_EQ(popAll(queue),
              (std::vector<std::string>{"1:a", "2:x", "3:z", "1:b", "2:y", "1:c", "1:d"}));
    EXPECT_TRUE(queue.empty());
}

TEST(FairQueue, aNewcomerWaitsOneRoundAtMost)
{
    FairQueue queue;
    ASSERT_EQ(queue.push({command(1, "a"), command(1, "b"), command(1, "c")}, 8, 100),
              FairQueue::Push::Taken);
    EXPECT_EQ(queue.pop()->bytes, "a");
    ASSERT_EQ(queue.push({command(2, "x")}, 8, 100), FairQueue::Push::Taken);
    EXPECT_EQ(popAll(queue), (std::vector<std::string>{"1:b", "2:x", "1:c"}));
}

TEST(FairQueue, boundIsPerClientAndAllOrNothing)
{
    FairQueue queue;
    ASSERT_EQ(queue.push({command(1, "a"), command(1, "b")}, 3, 100), FairQueue::Push::Taken);
    EXPECT_EQ(queue.push({command(1, "c"), command(1, "d")}, 3, 100), FairQueue::Push::SourceFull);
    EXPECT_EQ(queue.pending(1), 2u);
    EXPECT_EQ(queue.push({command(2, "x"), command(2, "y"), command(2, "z")}, 3, 100),
              FairQueue::Push::Taken);
    EXPECT_EQ(queue.dropSource(1).size(), 2u);
    EXPECT_EQ(popAll(queue), (std::vector<std::string>{"2:x", "2:y", "2:z"}));
}

TEST(FairQueue, boundOverAllClientsCountsWhatIsStillWaiting)
{
    FairQueue queue;
    ASSERT_EQ(queue.push({command(1, "a"), command(1, "b")}, 8, 3), FairQueue::Push::Taken);
    EXPECT_EQ(queue.push({command(2, "x"), command(2, "y")}, 8, 3), FairQueue::Push::AllFull);
    EXPECT_EQ(queue.pending(2), 0u);
    queue.pop();
    EXPECT_EQ(queue.push({command(2, "x"), command(2, "y")}, 8, 3), FairQueue::Push::Taken);
    EXPECT_EQ(queue.dropSource(2).size(), 2u);
    EXPECT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.push({command(3, "z"), command(3, "w")}, 8, 3), FairQueue::Push::Taken);
}

QJsonObject json(const char* text) { return QJsonDocument::fromJson(text).object(); }

std::vector<std::string> commandsFor(const char* request)
{
    const QJsonObject object = json(request);
    const auto action = ActionForRequest(object["cmd"].toString(), object);
    return action ? action->action.commands : std::vector<std::string>{"(none)"};
}

struct Translation {
    const char* request;
    std::vector<std::string> commands;
};

void PrintTo(const Translation& translation, std::ostream* out) { *out << translation.request; }

class ApiRequestsTranslate : public ::testing::TestWithParam<Translation> {};

TEST_P(ApiRequestsTranslate, intoTheMatrixCommands)
{
    EXPECT_EQ(commandsFor(GetParam().request), GetParam().commands) << GetParam().request;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRequest, ApiRequestsTranslate,
    ::testing::Values(
        Translation{R"({"cmd":"route","input":3,"output":2})", {"#video_d out2 matrix=3"}},
        Translation{R"({"cmd":"route","input":1,"output":"all"})", {"#video_d out0 matrix=1"}},
        Translation{R"({"cmd":"route","input":2,"output":[1,3]})",
                    {"#video_d out1 matrix=2", "#video_d out3 matrix=2"}},
        Translation{R"({"cmd":"scene","action":"save","scene":5})", {"#group5 exe=1"}},
        Translation{R"({"cmd":"scene","action":"recall","scene":2})", {"#group2 exe=2"}},
        Translation{R"({"cmd":"scene_name","scene":3,"name":"Late show"})",
                    {"#group3 exe=1 name=Late show"}},
        Translation{R"({"cmd":"name","kind":"hdbt","port":4,"name":"Lobby"})",
                    {"#port hdbt4 name=Lobby"}},
        Translation{R"({"cmd":"audio","input":"all","mode":"a"})", {"#audio_d in0 enc=2"}},
        Translation{R"({"cmd":"audio","output":2,"path":"spdif","on":false})",
                    {"#audio_d out2 spdif=0"}},
        Translation{R"({"cmd":"edid","input":1,"mode":"user","source":3})",
                    {"#edid_d in1 mode=1 data=3"}},
        Translation{R"({"cmd":"edid_store_user","slots":[1,2],"kind":"hdbt","output":4})",
                    {"#edid_d user1 mode=3 data=4", "#edid_d user2 mode=3 data=4"}},
        Translation{
            R"({"cmd":"ip","ip":"192.168.1.50","mask":"255.255.255.0","gateway":"192.168.1.1"})",
            {"#ip ip=192.168.1.50 mask=255.255.255.0 gw=192.168.1.1 dhcp=0"}},
        Translation{R"({"cmd":"dhcp","on":true})", {"#ip dhcp=1"}},
        Translation{R"({"cmd":"reboot","confirm":true})", {"#power start=1"}},
        Translation{R"({"cmd":"factory","confirm":true})", {"#factory"}},
        Translation{R"({"cmd":"send","text":"#upper:20/0F\nnext"})", {"#upper:20/0F\r\nnext"}},
        Translation{R"({"cmd":"dance"})", {"(none)"}}));

struct Rejection {
    const char* request;
    std::string code; // a refusal of the shared checks, or "bad_request"
};

void PrintTo(const Rejection& rejection, std::ostream* out) { *out << rejection.request; }

class ApiRequestsRefuse : public ::testing::TestWithParam<Rejection> {};

TEST_P(ApiRequestsRefuse, withTheSharedCodeOrAsMalformed)
{
    const QJsonObject object = json(GetParam().request);
    std::string code = "(accepted)";
    try {
        ActionForRequest(object["cmd"].toString(), object);
    } catch (const Refusal& refusal) {
        code = RefusalCodeName(refusal.code);
    } catch (const BadRequest&) {
        code = "bad_request";
    }
    EXPECT_EQ(code, GetParam().code) << GetParam().request;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ApiRequestsRefuse,
    ::testing::Values(
        Rejection{R"({"cmd":"route","input":5,"output":1})", "bad_value"},
        Rejection{R"({"cmd":"route","input":"3","output":1})", "bad_request"},
        Rejection{R"({"cmd":"route","input":2.5,"output":1})", "bad_request"},
        Rejection{R"({"cmd":"route","input":2,"output":"every"})", "bad_value"},
        Rejection{R"({"cmd":"scene","action":"delete","scene":1})", "bad_value"},
        Rejection{R"({"cmd":"audio","mode":"h"})", "bad_request"},
        Rejection{R"({"cmd":"audio","output":1,"path":"iis","on":"yes"})", "bad_request"},
        Rejection{R"({"cmd":"edid","input":1,"mode":"hdmi","source":5})", "bad_value"},
        Rejection{R"({"cmd":"name","kind":"input","port":1,"name":"a#b"})", "bad_name"},
        Rejection{R"({"cmd":"ip","ip":"10.0.0.5","mask":"255.255.255.0","gateway":"10.0.1.1"})",
                  "other_segment"},
        Rejection{R"({"cmd":"factory"})", "needs_confirmation"},
        Rejection{R"({"cmd":"send","text":""})", "bad_text"}));

} // namespace
