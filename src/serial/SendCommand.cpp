#include "SendCommand.h"

#include "MySerialPortComm.h"

#include <QThread>

void SendCommand(const std::string& command)
{
    SendCommandBytes(QByteArray(command.data(), static_cast<qsizetype>(command.size())));
}

void SendCommandBytes(const QByteArray& bytes)
{
    // The pause is what separates two commands on the wire, so it starts once the previous
    // command has left the port: a write still queued on the port thread would shorten it.
    GlobalSerialPort().DrainOutput(kPreviousCommandDrainMs);
    PauseMs(kCommandPauseMs);
    GlobalSerialPort().WritePort(bytes);
}

void PauseMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}
