#include "AddressText.h"

#include <QStringList>

QString DottedText(const std::array<uint8_t, 4>& address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address[0])
        .arg(address[1])
        .arg(address[2])
        .arg(address[3]);
}

QString MacText(const std::array<uint8_t, 6>& mac)
{
    QStringList parts;
    for (const uint8_t byte : mac)
        parts << QStringLiteral("%1").arg(byte, 2, 16, QChar(u'0')).toUpper();
    return parts.join(u':');
}
