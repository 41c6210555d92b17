// The state document: its shape, what each part of the matrix's answer fills in, and the form
// of its values.
#include "StateDocument.h"
#include "HostCommands.h"
#include "MatrixBlocks.h"
#include "ReplyDecoder.h"

#include <QJsonArray>
#include <gtest/gtest.h>
#include <set>

namespace {

using Paths = std::set<std::string>;

// The paths of the leaf values ("inputs[].edid.mode"), split into those holding a value in
// every entry and those null somewhere.
void collectLeaves(const QJsonValue& value, const std::string& path, Paths& set, Paths& null)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            collectLeaves(*it, path + (path.empty() ? "" : ".") + it.key().toStdString(), set,
                          null);
        return;
    }
    if (value.isArray()) {
        for (const QJsonValue& entry : value.toArray())
            collectLeaves(entry, path + "[]", set, null);
        return;
    }
    (value.isNull() ? null : set).insert(path);
}

struct Leaves {
    Paths set;
    Paths null;
};

Leaves leavesOf(const QJsonObject& document)
{
    Leaves leaves;
    collectLeaves(document, "", leaves.set, leaves.null);
    for (const std::string& path : leaves.null)
        leaves.set.erase(path);
    return leaves;
}

const Paths kAlwaysSet = {"api", "inputs[].number", "outputs[].number", "scenes[].number"};

Paths operator+(Paths a, const Paths& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

TEST(StateDocument, hasItsWholeShapeWithNullValuesBeforeAnythingArrived)
{
    const QJsonObject document = StateDocument(DeviceStatus{});
    EXPECT_EQ(document["api"], kStateApiVersion);
    EXPECT_EQ(document.keys(), (QStringList{"api", "device", "edidNames", "inputs", "network",
                                            "outputs", "scenes"}));
    EXPECT_EQ(document["inputs"].toArray().size(), 4);
    EXPECT_EQ(document["outputs"].toArray().size(), 4);
    EXPECT_EQ(document["scenes"].toArray().size(), 8);
    EXPECT_EQ(document["edidNames"]["builtIn"].toArray().size(), 8);
    EXPECT_EQ(document["edidNames"]["hdmiSinks"].toArray().size(), 4);
    EXPECT_EQ(leavesOf(document).set, kAlwaysSet);
}

struct Part {
    const char* what;
    std::vector<uint8_t> frame;
    Paths fills;
};

void PrintTo(const Part& part, std::ostream* out) { *out << part.what; }

class StateDocumentParts : public ::testing::TestWithParam<Part> {};

TEST_P(StateDocumentParts, eachPartFillsExactlyItsOwnValues)
{
    DeviceStatus status;
    DecodeChunk(status, GetParam().frame);
    EXPECT_EQ(leavesOf(StateDocument(status)).set, kAlwaysSet + GetParam().fills);
}

const MatrixState kState = DefaultMatrixState();

INSTANTIATE_TEST_SUITE_P(
    Frames, StateDocumentParts,
    ::testing::Values(
        Part{"status block",
             StatusFrame(kState),
             {"inputs[].audio", "inputs[].edid.mode", "inputs[].edid.source", "outputs[].input",
              "outputs[].audio.iis", "outputs[].audio.spdif"}},
        Part{"network block",
             NetworkFrame(kState),
             {"network.dhcp", "network.ip", "network.mask", "network.gateway", "network.dns",
              "network.mac", "network.netbios"}},
        Part{"model block", ModelFrame(kState), {"device.model", "device.firmware"}},
        Part{"built-in EDID names",
             NameTableFrame(kState, NameTable::EdidDefault),
             {"edidNames.builtIn[]"}},
        Part{"user EDID names", NameTableFrame(kState, NameTable::EdidUser), {"edidNames.user[]"}},
        Part{"input EDID names",
             NameTableFrame(kState, NameTable::EdidInput),
             {"inputs[].edid.name"}},
        Part{"HDMI sink EDID names",
             NameTableFrame(kState, NameTable::EdidHdmiOutput),
             {"edidNames.hdmiSinks[]"}},
        Part{"HDBT sink EDID names",
             NameTableFrame(kState, NameTable::EdidHdbtOutput),
             {"edidNames.hdbtSinks[]"}},
        Part{"input names", NameTableFrame(kState, NameTable::InputPort), {"inputs[].name"}},
        Part{"HDMI output names",
             NameTableFrame(kState, NameTable::HdmiOutputPort),
             {"outputs[].hdmiName"}},
        Part{"HDBT output names",
             NameTableFrame(kState, NameTable::HdbtOutputPort),
             {"outputs[].hdbtName"}},
        Part{"scene names", NameTableFrame(kState, NameTable::Scene), {"scenes[].name"}}));

TEST(StateDocument, valuesAreTextBooleansAndTheRequestsWords)
{
    MatrixState state = DefaultMatrixState();
    state.routing = {4, 3, 2, 1};
    state.audioInputMode = {0, 1, 2, 1};
    state.audioIis = {1, 0, 1, 0};
    state.audioSpdif = {0, 0, 1, 1};
    state.edidMode[2] = EdidHdbt;
    state.edidSource[2] = 4;
    state.nameAt(NameTable::HdbtOutputPort, 2) = "\xB4\xF3\xCC\xFC"; // code page 936
    state.network.dhcp = true;
    state.network.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    DeviceStatus status;
    for (const auto& frame : FullStateFrames(state, 0xC0)) // flag bits above the six that count
        DecodeChunk(status, frame);

    const QJsonObject document = StateDocument(status);
    const QJsonArray inputs = document["inputs"].toArray();
    const QJsonArray outputs = document["outputs"].toArray();
    EXPECT_EQ(outputs[0]["input"], 4);
    EXPECT_EQ(outputs[3]["input"], 1);
    EXPECT_EQ(inputs[0]["audio"], "off");
    EXPECT_EQ(inputs[1]["audio"], "h");
    EXPECT_EQ(inputs[2]["audio"], "a");
    EXPECT_EQ(outputs[0]["audio"]["iis"], true);
    EXPECT_EQ(outputs[1]["audio"]["iis"], false);
    EXPECT_EQ(outputs[3]["audio"]["spdif"], true);
    EXPECT_EQ(inputs[2]["edid"]["mode"], "hdbt");
    EXPECT_EQ(inputs[2]["edid"]["source"], 4);
    EXPECT_EQ(outputs[1]["hdbtName"], QString::fromUtf8("大厅"));
    EXPECT_EQ(document["network"]["dhcp"], true);
    EXPECT_EQ(document["network"]["mac"], "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(leavesOf(document).null, Paths{});
}

// An input EDID name table that the status block has overtaken is not shown: the name of the
// EDID now chosen is, from the table of its mode, until the input EDID names come again.
struct EdidName {
    const char* what;
    std::vector<std::vector<uint8_t>> after; // frames after the whole state
    const char* input2;                      // inputs[1].edid.name
};

void PrintTo(const EdidName& c, std::ostream* out) { *out << c.what; }

class PresentedEdid : public ::testing::TestWithParam<EdidName> {};

TEST_P(PresentedEdid, neverContradictsTheStatusBlock)
{
    DeviceStatus status;
    for (const auto& frame : FullStateFrames(kState, 0))
        DecodeChunk(status, frame);
    for (const auto& frame : GetParam().after)
        DecodeChunk(status, frame);
    const QJsonObject document = StateDocument(status);
    EXPECT_EQ(document["inputs"][1]["edid"]["name"].toString().toStdString(), GetParam().input2);
    EXPECT_EQ(document["inputs"][0]["edid"]["name"].toString().toStdString(), "4K60 444 HDR");
}

MatrixState withInput2Edid(int mode, int source, bool tableKept)
{
    MatrixState state = kState;
    state.edidMode[1] = mode;
    state.edidSource[1] = source;
    if (tableKept)
        state.updateInputEdidName(2);
    return state;
}

MatrixState withInput2TableName(const char* name)
{
    MatrixState state = kState;
    state.nameAt(NameTable::EdidInput, 2) = name;
    return state;
}

INSTANTIATE_TEST_SUITE_P(
    Choices, PresentedEdid,
    ::testing::Values(
        EdidName{"the whole state", {}, "4K60 444 HDR"},
        EdidName{"a new user EDID, table lagging",
                 {StatusFrame(withInput2Edid(EdidUser, 3, false))},
                 "User3"},
        EdidName{"a new HDBT sink EDID, table lagging",
                 {StatusFrame(withInput2Edid(EdidHdbt, 1, false))},
                 "1080P 2CH"},
        EdidName{"the table sent again after the status",
                 {StatusFrame(withInput2Edid(EdidUser, 3, true)),
                  NameTableFrame(withInput2Edid(EdidUser, 3, true), NameTable::EdidInput)},
                 "User3"},
        // A table that came after the choice is the matrix's word, whatever it says.
        EdidName{"a table of the matrix's own",
                 {NameTableFrame(withInput2TableName("Custom"), NameTable::EdidInput)},
                 "Custom"},
        EdidName{"an unchanged status block",
                 {NameTableFrame(withInput2TableName("Custom"), NameTable::EdidInput),
                  StatusFrame(kState)},
                 "Custom"}));

} // namespace
