#include "StatusJson.h"

#include "AddressText.h"
#include "Cp936.h"

#include <QJsonArray>

namespace {

constexpr int kBlockPorts = 8; // the status block reports eight ports; the matrix uses four

template <typename Field> QJsonArray perPort(Field field)
{
    QJsonArray values;
    for (int port = 1; port <= kBlockPorts; ++port)
        values.append(field(port));
    return values;
}

QJsonValue statusJson(const DeviceStatus& s)
{
    if (!s.hasStatusBlock())
        return QJsonValue::Null;
    return QJsonObject{
        {"videoInput", perPort([&](int p) { return s.videoInput(p); })},
        {"audioInputMode", perPort([&](int p) { return s.audioInputMode(p); })},
        {"audioOutputHdmi", perPort([&](int p) { return s.audioOutputHdmi(p); })},
        {"audioOutputIis", perPort([&](int p) { return s.audioOutputIis(p); })},
        {"audioOutputSpdif", perPort([&](int p) { return s.audioOutputSpdif(p); })},
        {"edidMode", perPort([&](int p) { return s.edidMode(p); })},
        {"edidSource", perPort([&](int p) { return s.edidData(p) + 1; })},
    };
}

QJsonValue networkJson(const DeviceStatus& s)
{
    if (!s.hasNetworkBlock())
        return QJsonValue::Null;
    return QJsonObject{
        {"dhcp", s.dhcp()},
        {"ip", DottedText(s.ipAddress())},
        {"mask", DottedText(s.subnetMask())},
        {"gateway", DottedText(s.gateway())},
        {"dns", DottedText(s.dnsServer())},
        {"mac", MacText(s.macAddress())},
        {"netbios", DecodeCp936(s.netbiosName())},
    };
}

QJsonValue modelJson(const DeviceStatus& s)
{
    if (!s.hasModelBlock())
        return QJsonValue::Null;
    return QJsonObject{{"productModel", DecodeCp936(s.productModel())},
                       {"releaseVersion", DecodeCp936(s.releaseVersion())}};
}

QJsonObject namesJson(const DeviceStatus& s)
{
    static const std::pair<const char*, NameTable> tables[] = {
        {"edidDefault", NameTable::EdidDefault},
        {"edidUser", NameTable::EdidUser},
        {"edidInput", NameTable::EdidInput},
        {"edidHdmiOutput", NameTable::EdidHdmiOutput},
        {"edidHdbtOutput", NameTable::EdidHdbtOutput},
        {"inputPort", NameTable::InputPort},
        {"hdmiOutputPort", NameTable::HdmiOutputPort},
        {"hdbtOutputPort", NameTable::HdbtOutputPort},
        {"scene", NameTable::Scene},
    };
    QJsonObject names;
    for (const auto& [key, table] : tables) {
        QJsonArray entries;
        for (int k = 1; k <= kNameEntries; ++k)
            entries.append(DecodeCp936(s.name(table, k)));
        names.insert(key, entries);
    }
    return names;
}

QJsonObject flagsJson(const DeviceStatus& s)
{
    return QJsonObject{
        {"stopRequested", s.stopRequested.load()},
        {"acquisitionDone", s.acquisitionDone.load()},
        {"initialDataReceived", s.initialDataReceived.load()},
        {"acquisitionState", s.acquisitionState.load()},
        {"statusRefreshPending", s.statusRefreshPending.load()},
        {"networkRefreshPending", s.networkRefreshPending.load()},
        {"modelRefreshPending", s.modelRefreshPending.load()},
    };
}

} // namespace

QJsonObject DeviceStatusToJson(const DeviceStatus& status)
{
    return QJsonObject{
        {"status", statusJson(status)},   {"names", namesJson(status)},
        {"network", networkJson(status)}, {"model", modelJson(status)},
        {"flags", flagsJson(status)},
    };
}
