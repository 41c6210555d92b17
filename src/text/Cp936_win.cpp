// Code page 936 through the system's own tables: Qt for Windows is built without ICU and has no
// GBK codec of its own.
#include "Cp936.h"

#include <windows.h>

namespace {

constexpr UINT kCodePage = 936;
constexpr wchar_t kReplacement = 0xFFFD;

const wchar_t* Wide(const QString& text) { return reinterpret_cast<const wchar_t*>(text.utf16()); }

// One character's bytes (one, or a lead byte and its trail byte) as UTF-16, or nothing when
// the code page gives them no meaning.
bool DecodeStrict(const char* bytes, int size, QString& out)
{
    const int units = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
    if (units <= 0)
        return false;
    QString decoded(units, Qt::Uninitialized);
    MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, size,
                        reinterpret_cast<wchar_t*>(decoded.data()), units);
    out += decoded;
    return true;
}

// The slow way, taken only when the whole text is not valid: each character on its own, so that
// a bad byte costs one U+FFFD and the text after it still reads.
QString DecodeEachCharacter(std::string_view bytes)
{
    QString out;
    size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        const bool pair = IsDBCSLeadByteEx(kCodePage, byte) && at + 1 < bytes.size();
        if (pair && DecodeStrict(bytes.data() + at, 2, out)) {
            at += 2;
            continue;
        }
        if (!DecodeStrict(bytes.data() + at, 1, out))
            out += QChar(kReplacement);
        ++at;
    }
    return out;
}

} // namespace

std::optional<QByteArray> EncodeCp936(const QString& text)
{
    if (text.isEmpty())
        return QByteArray();
    // No best fit: a character without a form of its own must be refused, not sent as a
    // look-alike ("ä" as "a") or as "?".
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, Wide(text), length,
                                         nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, Wide(text), length, bytes.data(), size,
                        nullptr, &usedDefault);
    // As on every system: only bytes that read back as the text are its form.
    if (DecodeCp936(std::string_view(bytes.constData(), size_t(bytes.size()))) != text)
        return std::nullopt;
    return bytes;
}

QString DecodeCp936(std::string_view bytes)
{
    QString out;
    if (bytes.empty() || DecodeStrict(bytes.data(), static_cast<int>(bytes.size()), out))
        return out;
    return DecodeEachCharacter(bytes);
}
