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
