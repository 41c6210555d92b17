#include "Cp936.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// The first character of the text (a whole surrogate pair counts as one) that cannot go to the
// matrix and back, as "U+D800"; empty when each can alone.
QString firstUnstorable(const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const QString character = text.mid(i, pair ? 2 : 1);
        if (!EncodeCp936(character)) {
            const char32_t code =
                pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : char32_t(text[i].unicode());
            return QStringLiteral("U+%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper();
        }
        i += pair ? 2 : 1;
    }
    return {};
}

} // namespace

std::optional<QByteArray> EncodeCp936(const QString& text)
{
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    // The encoder puts "?" for a lone surrogate and drops a leading U+FEFF without a word: only
    // bytes that read back as the text are its form.
    if (DecodeCp936(std::string_view(bytes.constData(), size_t(bytes.size()))) != text)
        return std::nullopt;
    return bytes;
}

QString DecodeCp936(std::string_view bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

NameCheck CheckName(const QString& name)
{
    for (const QChar c : name) {
        if (c == u'#' || c.category() == QChar::Other_Control)
            return {std::nullopt, "ERROR:Name must not contain # or control characters"};
    }
    auto bytes = EncodeCp936(name);
    if (!bytes) {
        const QString character = firstUnstorable(name);
        return {std::nullopt, "ERROR:Name has characters the matrix cannot store" +
                                  (character.isEmpty() ? QString() : " (" + character + ")")};
    }
    if (bytes->size() > kNameWidth)
        return {std::nullopt, "ERROR:Name is longer than 16 bytes"};
    return {std::move(bytes), {}};
}
