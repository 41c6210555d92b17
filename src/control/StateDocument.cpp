#include "StateDocument.h"

#include "AddressText.h"
#include "ControlWords.h"
#include "Cp936.h"
#include "MatrixRequests.h"

#include <QJsonArray>

namespace {

bool tableArrived(const DeviceStatus& s, NameTable table)
{
    return (s.framesReceived.load() >> NameTableFrameType(table)) & 1u;
}

QJsonValue name(const DeviceStatus& s, NameTable table, int entry)
{
    if (!tableArrived(s, table))
        return QJsonValue::Null;
    return DecodeCp936(s.name(table, entry));
}

QJsonArray names(const DeviceStatus& s, NameTable table, int count)
{
    QJsonArray list;
    for (int entry = 1; entry <= count; ++entry)
        list.append(name(s, table, entry));
    return list;
}

QJsonValue presentedEdid(const DeviceStatus& s, int input)
{
    const std::optional<std::string> name = PresentedEdidName(s, input);
    return name ? QJsonValue(DecodeCp936(*name)) : QJsonValue(QJsonValue::Null);
}

// A value read from a block, or null while the block is absent.
template <typename Read> QJsonValue fromBlock(bool present, Read read)
{
    return present ? QJsonValue(read()) : QJsonValue(QJsonValue::Null);
}

QJsonObject input(const DeviceStatus& s, int n)
{
    const bool status = s.hasStatusBlock();
    const QJsonObject edid{
        {"mode",
         fromBlock(status, [&] { return QString::fromStdString(EdidModeWord(s.edidMode(n))); })},
        {"source", fromBlock(status, [&] { return s.edidData(n) + 1; })},
        {"name", presentedEdid(s, n)},
    };
    return {
        {"number", n},
        {"name", name(s, NameTable::InputPort, n)},
        {"audio",
         fromBlock(status,
                   [&] { return QString::fromStdString(AudioModeWord(s.audioInputMode(n))); })},
        {"edid", edid},
    };
}

QJsonObject output(const DeviceStatus& s, int n)
{
    const bool status = s.hasStatusBlock();
    const QJsonObject audio{
        {"iis", fromBlock(status, [&] { return s.audioOutputIis(n) != 0; })},
        {"spdif", fromBlock(status, [&] { return s.audioOutputSpdif(n) != 0; })},
    };
    return {
        {"number", n},
        {"input", fromBlock(status, [&] { return s.videoInput(n); })},
        {"hdmiName", name(s, NameTable::HdmiOutputPort, n)},
        {"hdbtName", name(s, NameTable::HdbtOutputPort, n)},
        {"audio", audio},
    };
}

template <typename Entry> QJsonArray numbered(const DeviceStatus& s, int count, Entry entry)
{
    QJsonArray list;
    for (int n = 1; n <= count; ++n)
        list.append(entry(s, n));
    return list;
}

QJsonObject scene(const DeviceStatus& s, int n)
{
    return {{"number", n}, {"name", name(s, NameTable::Scene, n)}};
}

QJsonObject edidNames(const DeviceStatus& s)
{
    return {
        {"builtIn", names(s, NameTable::EdidDefault, kEdidSlotCount)},
        {"user", names(s, NameTable::EdidUser, kEdidSlotCount)},
        {"hdmiSinks", names(s, NameTable::EdidHdmiOutput, kPortCount)},
        {"hdbtSinks", names(s, NameTable::EdidHdbtOutput, kPortCount)},
    };
}

QJsonObject network(const DeviceStatus& s)
{
    const bool present = s.hasNetworkBlock();
    return {
        {"dhcp", fromBlock(present, [&] { return s.dhcp() == 1; })},
        {"ip", fromBlock(present, [&] { return DottedText(s.ipAddress()); })},
        {"mask", fromBlock(present, [&] { return DottedText(s.subnetMask()); })},
        {"gateway", fromBlock(present, [&] { return DottedText(s.gateway()); })},
        {"dns", fromBlock(present, [&] { return DottedText(s.dnsServer()); })},
        {"mac", fromBlock(present, [&] { return MacText(s.macAddress()); })},
        {"netbios", fromBlock(present, [&] { return DecodeCp936(s.netbiosName()); })},
    };
}

QJsonObject device(const DeviceStatus& s)
{
    const bool present = s.hasModelBlock();
    return {
        {"model", fromBlock(present, [&] { return DecodeCp936(s.productModel()); })},
        {"firmware", fromBlock(present, [&] { return DecodeCp936(s.releaseVersion()); })},
    };
}

} // namespace

QJsonObject StateDocument(const DeviceStatus& status)
{
    return {
        {"api", kStateApiVersion},
        {"device", device(status)},
        {"inputs", numbered(status, kPortCount, input)},
        {"outputs", numbered(status, kPortCount, output)},
        {"scenes", numbered(status, kSceneCount, scene)},
        {"edidNames", edidNames(status)},
        {"network", network(status)},
    };
}
