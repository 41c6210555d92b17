#include "Cp936.h"


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

// EncodeCp936 and DecodeCp936 are the system's: Cp936_unix.cpp, Cp936_win.cpp.

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
