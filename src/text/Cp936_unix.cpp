// Code page 936 through Qt's codecs, which take GBK from ICU on Unix.
#include "Cp936.h"

#include <QStringDecoder>
#include <QStringEncoder>

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
    // The decoder holds a lead byte cut off at the end of the text back for a next call that
    // never comes, and the byte would be lost without a mark. A zero byte after the text cannot
    // follow a lead byte, so the cut-off one is marked as bad, and the zero is taken off again.
    QByteArray terminated(bytes.data(), static_cast<qsizetype>(bytes.size()));
    terminated.append('\0');
    QStringDecoder decoder("GBK");
    QString text = decoder.decode(terminated);
    text.chop(1);
    return text;
}
