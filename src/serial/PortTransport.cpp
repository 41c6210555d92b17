#include "PortTransport.h"

#include "SerialTransport.h"
#include "TcpTransport.h"

#include <QIODevice>

namespace {
const QString kSocketScheme = QStringLiteral("socket://");
const QString kTlsScheme = QStringLiteral("tls://");
} // namespace

std::unique_ptr<PortTransport> PortTransport::ForPortName(const QString& portName,
                                                          const RemoteAccess& access)
{
    if (IsSocketPortName(portName))
        return std::make_unique<TcpTransport>(portName, access);
    return std::make_unique<SerialTransport>(portName);
}

bool PortTransport::IsSocketPortName(const QString& portName)
{
    return portName.startsWith(kSocketScheme, Qt::CaseInsensitive) ||
           portName.startsWith(kTlsScheme, Qt::CaseInsensitive);
}

QByteArray PortTransport::takeReceived() { return device()->readAll(); }

bool PortTransport::fail(PortOpenError error, const QString& text)
{
    failure_ = {error, text};
    return false;
}
