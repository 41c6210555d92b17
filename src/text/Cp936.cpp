#include "Cp936.h"

#include <QStringDecoder>
#include <QStringEncoder>

std::optional<QByteArray> EncodeCp936(const QString& text)
{
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
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
    if (!bytes)
        return {std::nullopt, "ERROR:Name has characters the matrix cannot store"};
    if (bytes->size() > kNameWidth)
        return {std::nullopt, "ERROR:Name is longer than 16 bytes"};
    return {std::move(bytes), {}};
}
