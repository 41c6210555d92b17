// docs/api.md held to what the programs produce: the state document that tavloctl prints
// against the simulated matrix, and the refusal codes of the shared requests.
#include "ApiDocument.h"
#include "MatrixSimulator.h"
#include "Refusal.h"
#include "ToolProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QJsonValue statusJson(const MatrixSimulator& sim)
{
    const ToolResult result = ToolProcess::run(
        TAVLOCTL_PATH, {"--port", sim.SlavePath(), "--timeout", "5", "status", "--json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object();
}

std::string lines(const std::vector<std::string>& texts)
{
    std::string out;
    for (const std::string& text : texts)
        out += "\n  " + text;
    return out;
}

TEST(ApiDocument, stateExampleHasTheFieldsAndTypesTavloctlPrints)
{
    MatrixSimulator sim;
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    const QJsonValue produced = statusJson(sim);
    ASSERT_TRUE(produced.isObject());

    const std::string markdown = ReadApiDocument();
    const std::vector<std::string> differences =
        ShapeDifferences(DocumentExample(markdown, "state"), produced);
    EXPECT_TRUE(differences.empty()) << lines(differences);
    EXPECT_EQ(DocumentedNames(markdown, "The state document"), FieldPaths(produced));
}

TEST(ApiDocument, everyRefusalCodeIsDocumented)
{
    std::set<std::string> codes;
    for (int code = int(RefusalCode::BadValue); code <= int(RefusalCode::NeedsConfirmation); ++code)
        codes.insert(RefusalCodeName(RefusalCode(code)));
    EXPECT_EQ(DocumentedNames(ReadApiDocument(), "Refusals"), codes);
}

} // namespace
