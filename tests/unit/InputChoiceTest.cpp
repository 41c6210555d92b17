// An input as people name it: the rule tavloctl route, the JSON API and MQTT share.
#include "InputChoice.h"

#include "ClosestWord.h"
#include "MatrixBlocks.h"
#include "Refusal.h"
#include "ReplyDecoder.h"
#include "StateDocument.h"

#include <gtest/gtest.h>

namespace {

struct Choice {
    const char* text;
    std::vector<std::string> names;
    int input;           // 0: refused
    const char* refusal; // a part of the message when refused
};

void PrintTo(const Choice& c, std::ostream* out) { *out << "'" << c.text << "'"; }

class InputChoices : public ::testing::TestWithParam<Choice> {};

TEST_P(InputChoices, readTheNumberOrTheOneNameMeant)
{
    const Choice& c = GetParam();
    if (c.input > 0) {
        EXPECT_EQ(ParseInputChoice(c.text, c.names), c.input);
        return;
    }
    try {
        ParseInputChoice(c.text, c.names);
        ADD_FAILURE() << "not refused";
    } catch (const Refusal& refusal) {
        EXPECT_STREQ(RefusalCodeName(refusal.code), "bad_value");
        EXPECT_NE(refusal.message.find(c.refusal), std::string::npos) << refusal.message;
    }
}

const std::vector<std::string> kNames = {"Blu-ray", "Laptop", "Camera", "camera 2"};

INSTANTIATE_TEST_SUITE_P(
    Rule, InputChoices,
    ::testing::Values(Choice{"3", kNames, 3, ""}, Choice{"03", kNames, 3, ""},
                      Choice{"Camera", kNames, 3, ""}, Choice{"CAMERA", kNames, 3, ""},
                      Choice{"laptop", kNames, 2, ""}, Choice{"Camera 2", kNames, 4, ""},
                      Choice{"5", kNames, 0, "from 1 to 4"},
                      Choice{"Cam", kNames, 0, "1 'Blu-ray', 2 'Laptop', 3 'Camera', 4 'camera 2'"},
                      // Exact wins over a case-insensitive twin; two of either kind are refused.
                      Choice{"cam", {"Cam", "cam", "x", "y"}, 2, ""},
                      Choice{"CAM", {"Cam", "cam", "x", "y"}, 0, "more than one input"},
                      Choice{"Cam", {"Cam", "Cam", "x", "y"}, 0, "more than one input"},
                      Choice{"摄像机", {"a", "摄像机", "", ""}, 2, ""},
                      Choice{"Camera", {"", "", "", ""}, 0, "not 'Camera'"},
                      // A name that is all digits is the number it reads as, as everywhere else.
                      Choice{"2", {"2", "1", "", ""}, 2, ""}));

TEST(InputNames, readTheSameFromTheStatusAndFromItsDocument)
{
    MatrixState state = DefaultMatrixState();
    state.nameAt(NameTable::InputPort, 2) = "\xB4\xF3\xCC\xFC"; // "大厅" in code page 936
    DeviceStatus status;
    EXPECT_EQ(InputNames(status), (std::vector<std::string>{"", "", "", ""}));
    for (const auto& frame : FullStateFrames(state))
        DecodeChunk(status, frame);
    const std::vector<std::string> names = {"Input1", "大厅", "Input3", "Input4"};
    EXPECT_EQ(InputNames(status), names);
    EXPECT_EQ(InputNames(StateDocument(status)), names);
}

TEST(ClosestWord, namesTheSlipNotAStranger)
{
    const std::vector<std::string> fields = {"input", "output", "wait", "timeout"};
    EXPECT_EQ(ClosestWord("wiat", fields), "wait");
    EXPECT_EQ(ClosestWord("ouptut", fields), "output");
    EXPECT_EQ(ClosestWord("timout", fields), "timeout");
    EXPECT_EQ(ClosestWord("frobnicate", fields), std::nullopt);
}

} // namespace
