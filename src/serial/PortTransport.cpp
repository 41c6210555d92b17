#include "PortTransport.h"

#include "SerialTransport.h"
#include "TcpTransport.h"

namespace {
const QString kSocketScheme = QStringLiteral("socket://");
} // namespace

std::unique_ptr<PortTransport> PortTransport::ForPortName(const QString& portName)
{
    if (IsSocketPortName(portName))
        return std::make_unique<TcpTransport>(portName);
    return std::make_unique<SerialTransport>(portName);
}

bool PortTransport::IsSocketPortName(const QString& portName)
{
    return portName.startsWith(kSocketScheme, Qt::CaseInsensitive);
}

bool PortTransport::fail(PortOpenError error, const QString& text)
{
    failure_ = {error, text};
    return false;
}
