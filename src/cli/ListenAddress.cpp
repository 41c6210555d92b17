#include "ListenAddress.h"

#include "CliCommands.h"

void ParseListenAddress(const std::string& text, QHostAddress& address, quint16& port)
{
    const QString given = QString::fromStdString(text);
    const qsizetype colon = given.lastIndexOf(':');
    bool portOk = false;
    const uint number = colon < 0 ? 0 : given.mid(colon + 1).toUInt(&portOk);
    QString host = given.left(colon);
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    if (host == QLatin1String("localhost"))
        host = QStringLiteral("127.0.0.1");
    if (colon < 0 || !portOk || number > 65535 || !address.setAddress(host))
        throw UsageError{"not an address and port: '" + text +
                         "' (write ADDR:PORT, e.g. 127.0.0.1:4001 or [::1]:4001)"};
    port = static_cast<quint16>(number);
}
