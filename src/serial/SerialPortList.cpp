#include "SerialPortList.h"

#include "SerialPortBus.h"

#include <QSerialPortInfo>
#include <algorithm>

namespace {
std::vector<SSerInfo>& ExtraPorts()
{
    static std::vector<SSerInfo> extra;
    return extra;
}

SSerInfo RecordFor(const QSerialPortInfo& port)
{
    SSerInfo info;
    info.devicePath = port.systemLocation();
    info.portName = port.portName();
    const QString description = port.description();
    // Shaped as the friendly names Windows gives its ports, "USB Serial Port (COM3)".
    info.friendlyName = description.isEmpty()
                            ? info.portName
                            : description + QStringLiteral(" (%1)").arg(info.portName);
    info.isUsbDevice = IsUsbPort(port);
    info.portDescription = description;
    return info;
}

bool ListsPath(const std::vector<SSerInfo>& records, const QString& devicePath)
{
    return std::any_of(records.begin(), records.end(),
                       [&](const SSerInfo& r) { return r.devicePath == devicePath; });
}

void CompleteDescription(SSerInfo& info)
{
    info.portDescription = info.friendlyName;
    const qsizetype p = info.friendlyName.indexOf(QStringLiteral(" ("));
    const qsizetype closing = info.friendlyName.indexOf(QLatin1Char(')'));
    if (p > 0 && closing == info.friendlyName.size() - 1)
        info.portDescription.truncate(p);
}
} // namespace

std::vector<SSerInfo> EnumerateSerialPorts()
{
    std::vector<SSerInfo> records;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        records.push_back(RecordFor(port));
    for (const SSerInfo& extra : ExtraPorts()) {
        if (!ListsPath(records, extra.devicePath))
            records.push_back(extra);
    }
    CompleteSerialPortRecords(records);
    return records;
}

void CompleteSerialPortRecords(std::vector<SSerInfo>& records)
{
    for (SSerInfo& info : records) {
        if (info.friendlyName.isEmpty())
            info.friendlyName = info.portName;
        if (info.portDescription.isEmpty())
            CompleteDescription(info);
    }
}

void AddExtraSerialPort(SSerInfo info)
{
    info.portName = info.devicePath;
    auto& extra = ExtraPorts();
    auto same = std::find_if(extra.begin(), extra.end(),
                             [&](const SSerInfo& r) { return r.devicePath == info.devicePath; });
    if (same != extra.end())
        *same = std::move(info);
    else
        extra.push_back(std::move(info));
}

void ClearExtraSerialPorts() { ExtraPorts().clear(); }

QString PortOpenName(const SSerInfo& info)
{
    return info.portName.isEmpty() ? info.devicePath : info.portName;
}

QString PortListItem(const SSerInfo& info)
{
    const QString name = PortOpenName(info);
    // A description completed from the bare name says nothing more than the name.
    if (info.portDescription.isEmpty() || info.portDescription == name)
        return name;
    return name + QLatin1Char(' ') + info.portDescription;
}

QString PortNameFromItem(const QString& item)
{
    const qsizetype blank = item.indexOf(QLatin1Char(' '));
    return blank < 0 ? item : item.left(blank);
}
