#include "SendCommand.h"

#include "MySerialPortComm.h"

#include <QThread>

void SendCommand(const std::string& command)
{
    SendCommandBytes(QByteArray(command.data(), static_cast<qsizetype>(command.size())));
}

void SendCommandBytes(const QByteArray& bytes)
{
    PauseMs(kCommandPauseMs);
    GlobalSerialPort().WritePort(bytes);
}

void PauseMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}
