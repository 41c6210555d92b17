#include "Cp936.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp936, chineseNameRoundTripsThroughItsTwoByteForm)
{
    const QString name = QString::fromUtf8("会议室");
    const auto bytes = EncodeCp936(name);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->toHex(), QByteArray("bbe1d2e9cad2"));
    EXPECT_EQ(DecodeCp936(std::string_view(bytes->constData(), bytes->size())), name);
}

// The same bytes on every system, whichever conversion the system has (ICU's GBK on Unix, the
// system's code page 936 on Windows).
struct Cp936Case {
    const char* what;
    const char* utf8;
    const char* hex; // nullptr: no form in code page 936
};

class Cp936EncodeTest : public testing::TestWithParam<Cp936Case> {};

TEST_P(Cp936EncodeTest, encodesToTheMatrixsBytesOrRefuses)
{
    const auto bytes = EncodeCp936(QString::fromUtf8(GetParam().utf8));
    if (!GetParam().hex) {
        EXPECT_FALSE(bytes.has_value()) << bytes->toHex().toStdString();
        return;
    }
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->toHex(), QByteArray(GetParam().hex));
}

INSTANTIATE_TEST_SUITE_P(Texts, Cp936EncodeTest,
                         testing::Values(Cp936Case{"empty", "", ""},
                                         Cp936Case{"ascii", "Lobby 1", "4c6f6262792031"},
                                         Cp936Case{"chinese", "大厅", "b4f3ccfc"},
                                         Cp936Case{"mixed", "会议室A", "bbe1d2e9cad241"},
                                         Cp936Case{"fullWidthDigit", "１", "a3b1"},
                                         // Refused, not sent as a look-alike ("a") or as "?".
                                         Cp936Case{"noBestFit", "ä", nullptr},
                                         Cp936Case{"notInTheCodePage", "😀", nullptr},
                                         Cp936Case{"oneBadAmongGood", "会😀议", nullptr}),
                         [](const testing::TestParamInfo<Cp936Case>& p) { return p.param.what; });

struct DecodeCase {
    const char* what;
    std::string bytes;
    const char* utf8;
};

class Cp936DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(Cp936DecodeTest, decodesWhatTheMatrixSentAndMarksWhatHasNoMeaning)
{
    EXPECT_EQ(DecodeCp936(GetParam().bytes).toUtf8().toStdString(), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Cp936DecodeTest,
    testing::Values(DecodeCase{"empty", "", ""}, DecodeCase{"ascii", "Proj 2", "Proj 2"},
                    DecodeCase{"chinese", "\xb4\xf3\xcc\xfc", "大厅"},
                    // A lead byte cut off at the end of the entry.
                    DecodeCase{"truncatedPair", "ab\xbb", "ab\uFFFD"},
                    // A lead byte whose next byte cannot follow it: one mark, the rest reads.
                    DecodeCase{"badTrailByte", "\xbb\xe1\xbb \xd2\xe9", "会\uFFFD 议"}),
    [](const testing::TestParamInfo<DecodeCase>& p) { return p.param.what; });

TEST(Cp936, namesTheMatrixCannotTakeAreRefusedWithTheirReason)
{
    const std::pair<QString, const char*> refused[] = {
        {QString::fromUtf8("😀"), "ERROR:Name has characters the matrix cannot store (U+1F600)"},
        // What the encoder would turn into "?" or drop without a word.
        {QString(QChar(0xD800)), "ERROR:Name has characters the matrix cannot store (U+D800)"},
        {QString(QChar(0xFEFF)) + "Lobby",
         "ERROR:Name has characters the matrix cannot store (U+FEFF)"},
        {"A" + QString(QChar(0xDC00)) + "B",
         "ERROR:Name has characters the matrix cannot store (U+DC00)"},
        {QStringLiteral("ABCDEFGHIJKLMNOPQ"), "ERROR:Name is longer than 16 bytes"},
        {QString::fromUtf8("会议室会议室会议室"), "ERROR:Name is longer than 16 bytes"}, // 18 bytes
        {QStringLiteral("Lobby#factory"), "ERROR:Name must not contain # or control characters"},
        {QStringLiteral("Lob\nby"), "ERROR:Name must not contain # or control characters"},
    };
    for (const auto& [name, error] : refused) {
        const NameCheck check = CheckName(name);
        EXPECT_FALSE(check.bytes.has_value()) << name.toStdString();
        EXPECT_EQ(check.error.toStdString(), error);
    }
}

TEST(Cp936, sixteenByteNamesPass)
{
    EXPECT_EQ(CheckName(QStringLiteral("ABCDEFGHIJKLMNOP")).bytes->size(), 16);
    EXPECT_EQ(CheckName(QString::fromUtf8("会议室会议室会议室")).bytes, std::nullopt);
    EXPECT_EQ(CheckName(QString::fromUtf8("会议室会议室会议")).bytes->size(), 16);
}

} // namespace
