#include "StatusText.h"

#include "AddressText.h"
#include "Cp936.h"
#include "DisplayWidth.h"
#include "HostCommands.h"
#include "MatrixRequests.h"

#include <QString>
#include <QStringList>

namespace {

QString name(const DeviceStatus& s, NameTable table, int entry)
{
    return DecodeCp936(s.name(table, entry));
}

// One row of left-justified columns of the given widths; the last column is not padded.
QString row(const QStringList& cells, std::initializer_list<int> widths)
{
    QString line = "  ";
    auto width = widths.begin();
    for (qsizetype i = 0; i < cells.size(); ++i, ++width) {
        const bool last = i + 1 == cells.size() || width == widths.end();
        line += last ? cells[i] : PadToWidth(cells[i], *width) + ' ';
    }
    while (line.endsWith(' '))
        line.chop(1);
    return line + '\n';
}

QString onOff(int value) { return value ? "on" : "off"; }

// The modes as the panel labels them: H and A in capitals.
QString audioMode(int mode)
{
    return mode == AudioOff ? QStringLiteral("off")
                            : QString::fromStdString(AudioModeWord(mode)).toUpper();
}

QString edidModeName(int mode) { return QString::fromStdString(EdidModeWord(mode)); }

QString model(const DeviceStatus& s)
{
    if (!s.hasModelBlock())
        return {};
    return "Matrix\n" + row({"Product model", DecodeCp936(s.productModel())}, {16}) +
           row({"Release version", DecodeCp936(s.releaseVersion())}, {16}) + '\n';
}

bool hasNames(const DeviceStatus& s, NameTable table)
{
    for (int k = 1; k <= kNameEntries; ++k) {
        if (!s.name(table, k).empty())
            return true;
    }
    return false;
}

QString routing(const DeviceStatus& s)
{
    if (!s.hasStatusBlock())
        return {};
    // Names are shown once their tables have arrived; a bare status block has numbers only.
    const bool named = hasNames(s, NameTable::InputPort) ||
                       hasNames(s, NameTable::HdmiOutputPort) ||
                       hasNames(s, NameTable::HdbtOutputPort);
    if (!named) {
        QString text = "Routing\n" + row({"Output", "Input"}, {6});
        for (int o = 1; o <= kPortCount; ++o)
            text += row({QString::number(o), QString::number(s.videoInput(o))}, {6});
        return text + '\n';
    }
    QString text = "Routing\n" +
                   row({"Output", "HDMI name", "HDBT name", "Input", "Input name"}, {6, 16, 16, 5});
    for (int o = 1; o <= kPortCount; ++o) {
        const int input = s.videoInput(o);
        text += row({QString::number(o), name(s, NameTable::HdmiOutputPort, o),
                     name(s, NameTable::HdbtOutputPort, o), QString::number(input),
                     input >= 1 && input <= kNameEntries ? name(s, NameTable::InputPort, input)
                                                         : QString()},
                    {6, 16, 16, 5});
    }
    return text + '\n';
}

QString audio(const DeviceStatus& s)
{
    if (!s.hasStatusBlock())
        return {};
    const bool named = hasNames(s, NameTable::InputPort);
    QString text = "Audio inputs\n" +
                   (named ? row({"Input", "Name", "Mode"}, {5, 16}) : row({"Input", "Mode"}, {5}));
    for (int i = 1; i <= kPortCount; ++i) {
        const QString mode = audioMode(s.audioInputMode(i));
        text += named ? row({QString::number(i), name(s, NameTable::InputPort, i), mode}, {5, 16})
                      : row({QString::number(i), mode}, {5});
    }
    text += "\nAudio outputs\n" + row({"Output", "HDMI", "I2S", "S/PDIF"}, {6, 4, 4});
    for (int o = 1; o <= kPortCount; ++o)
        text += row({QString::number(o), QString::number(s.audioOutputHdmi(o)),
                     onOff(s.audioOutputIis(o)), onOff(s.audioOutputSpdif(o))},
                    {6, 4, 4});
    return text + '\n';
}

QString edid(const DeviceStatus& s)
{
    QString text;
    if (s.hasStatusBlock()) {
        text += "EDID of the inputs\n" + row({"Input", "Mode", "Source", "Presents"}, {5, 7, 6});
        for (int i = 1; i <= kPortCount; ++i)
            text += row({QString::number(i), edidModeName(s.edidMode(i)),
                         QString::number(s.edidData(i) + 1),
                         DecodeCp936(PresentedEdidName(s, i).value_or(std::string()))},
                        {5, 7, 6});
        text += '\n';
    }
    // The name tables arrive on their own; list them only when one of them has.
    QString slotRows;
    bool anyName = false;
    for (int k = 1; k <= kEdidSlotCount; ++k) {
        const QStringList cells = {
            QString::number(k), name(s, NameTable::EdidDefault, k), name(s, NameTable::EdidUser, k),
            k <= kPortCount ? name(s, NameTable::EdidHdmiOutput, k) : QString(),
            k <= kPortCount ? name(s, NameTable::EdidHdbtOutput, k) : QString()};
        anyName = anyName || !cells.mid(1).join("").isEmpty();
        slotRows += row(cells, {4, 16, 16, 16});
    }
    if (anyName)
        text += "EDID names\n" +
                row({"No.", "Built-in", "User", "HDMI sink", "HDBT sink"}, {4, 16, 16, 16}) +
                slotRows + '\n';
    return text;
}

QString scenes(const DeviceStatus& s)
{
    QString list;
    for (int k = 1; k <= kSceneCount; ++k) {
        const QString n = name(s, NameTable::Scene, k);
        if (!n.isEmpty())
            list += row({QString::number(k), n}, {5});
    }
    return list.isEmpty() ? QString() : "Scenes\n" + row({"Scene", "Name"}, {5}) + list + '\n';
}

QString network(const DeviceStatus& s)
{
    if (!s.hasNetworkBlock())
        return {};
    return "Network\n" + row({"DHCP", s.dhcp() == 1 ? "on" : "off"}, {8}) +
           row({"IP", DottedText(s.ipAddress())}, {8}) +
           row({"Mask", DottedText(s.subnetMask())}, {8}) +
           row({"Gateway", DottedText(s.gateway())}, {8}) +
           row({"DNS", DottedText(s.dnsServer())}, {8}) +
           row({"MAC", MacText(s.macAddress())}, {8}) +
           row({"NetBIOS", DecodeCp936(s.netbiosName())}, {8}) + '\n';
}

} // namespace

std::string FormatStatus(const DeviceStatus& status, int sections)
{
    QString text;
    if (sections & SectionModel)
        text += model(status);
    if (sections & SectionRouting)
        text += routing(status);
    if (sections & SectionAudio)
        text += audio(status);
    if (sections & SectionEdid)
        text += edid(status);
    if (sections & SectionScenes)
        text += scenes(status);
    if (sections & SectionNetwork)
        text += network(status);
    while (text.endsWith("\n\n"))
        text.chop(1);
    return text.toStdString();
}

std::string FormatNameTable(const DeviceStatus& status, NameTable table, int count)
{
    QString text;
    for (int k = 1; k <= count; ++k)
        text += row({QString::number(k), name(status, table, k)}, {3});
    return text.toStdString();
}

std::string FormatChange(const DeviceStatus& status, ActionScope scope, NameTable names)
{
    switch (scope) {
    case ActionScope::Routing:
        return FormatStatus(status, SectionRouting);
    case ActionScope::Audio:
        return FormatStatus(status, SectionAudio);
    case ActionScope::Edid:
        return FormatStatus(status, SectionEdid);
    case ActionScope::Network:
        return FormatStatus(status, SectionNetwork);
    case ActionScope::Names:
        break;
    case ActionScope::Nothing:
        return {};
    }
    switch (names) {
    case NameTable::Scene:
        return "Scenes\n" + FormatNameTable(status, names, kSceneCount);
    case NameTable::EdidUser:
        return "User EDIDs\n" + FormatNameTable(status, names, kEdidSlotCount);
    case NameTable::InputPort:
        return "Input names\n" + FormatNameTable(status, names, kPortCount);
    case NameTable::HdmiOutputPort:
        return "HDMI output names\n" + FormatNameTable(status, names, kPortCount);
    default:
        return "HDBT output names\n" + FormatNameTable(status, names, kPortCount);
    }
}
