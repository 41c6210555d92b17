#include "MatrixRequests.h"

#include "AddressCheck.h"
#include "Cp936.h"
#include "ReplyFrame.h"

#include <QString>
#include <algorithm>
#include <array>

namespace {

const char kCheckAddresses[] = "Please check IP & MASK & GW: ";

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

void requireNumber(int value, int low, int high, std::string_view what)
{
    if (value < low || value > high)
        throw Refusal{RefusalCode::BadValue,
                      std::string(what) + " must be a number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not " + std::to_string(value)};
}

void requireTarget(int value, int high, std::string_view what)
{
    if (value < kAllPorts || value > high)
        throw Refusal{RefusalCode::BadValue,
                      std::string(what) + " must be 'all' or a number from 1 to " +
                          std::to_string(high) + ", not " + std::to_string(value)};
}

// Each target once, in the order given; kAllPorts only alone.
std::vector<int> targetList(const std::vector<int>& given, int high, std::string_view what)
{
    std::vector<int> targets;
    for (int target : given) {
        requireTarget(target, high, what);
        if (target == kAllPorts && given.size() > 1)
            throw Refusal{RefusalCode::BadValue,
                          "'all' stands alone: no other " + std::string(what) + " with it"};
        if (std::find(targets.begin(), targets.end(), target) == targets.end())
            targets.push_back(target);
    }
    if (targets.empty())
        throw Refusal{RefusalCode::BadValue, "no " + std::string(what) + " given"};
    return targets;
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Why a name cannot be stored, in words for whoever typed it: the panel's "ERROR:" boxes keep
// their own texts, but elsewhere a name too long says by how much.
std::string nameRefusal(const QString& name, std::string_view utf8, const NameCheck& check)
{
    const std::optional<QByteArray> bytes = EncodeCp936(name);
    if (bytes && bytes->size() > kNameWidth) {
        const bool wide =
            std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() >= 0x80; });
        return quoted(utf8) + " is " + std::to_string(bytes->size()) + " of " +
               std::to_string(kNameWidth) + " bytes" +
               (wide ? "; Chinese characters take 2 bytes each" : "");
    }
    QString reason = check.error;
    if (reason.startsWith(QLatin1String("ERROR:")))
        reason.remove(0, 6);
    return reason.toStdString() + ": " + quoted(utf8);
}

// The name as the matrix stores it: code page 936, within its 16 bytes, nothing that could end
// the command early.
std::string encodedName(std::string_view utf8)
{
    const QString name = fromUtf8(utf8);
    if (name.isEmpty())
        throw Refusal{RefusalCode::BadName, "the name is empty"};
    const NameCheck check = CheckName(name);
    if (!check.bytes)
        throw Refusal{RefusalCode::BadName, nameRefusal(name, utf8, check)};
    return check.bytes->toStdString();
}

// Whether every addressed port (kAllPorts: each) reads the value.
bool allRead(const std::function<int(int)>& read, int target, int value)
{
    for (int n = 1; n <= kPortCount; ++n) {
        if ((target == kAllPorts || target == n) && read(n) != value)
            return false;
    }
    return true;
}

MatrixAction statusAction(std::vector<HostCommand> commands, ActionScope changes)
{
    MatrixAction action;
    action.commands = std::move(commands);
    action.confirmType = FrameStatus;
    action.changes = changes;
    return action;
}

MatrixAction nameAction(HostCommand command, NameTable table, int entry, std::string name)
{
    MatrixAction action;
    action.commands = {std::move(command)};
    action.confirmType = NameTableFrameType(table);
    action.confirmed = [=](const DeviceStatus& s) { return s.name(table, entry) == name; };
    action.changes = ActionScope::Names;
    action.names = table;
    return action;
}

void requireAddress(const AddressVerdict& verdict)
{
    if (verdict.passes())
        return;
    // What the Network page has always refused keeps its words; the reason follows them.
    const bool pageRefusal = verdict.fault == AddressFault::Malformed;
    throw Refusal{RefusalCode::BadAddress, (pageRefusal ? kCheckAddresses : "") + verdict.reason};
}

// The address's first part, as the Network page checks it while the operator types.
void requireFirstPart(std::string_view ip)
{
    const int first = LeadingNumber(ip);
    if (first == 127)
        throw Refusal{RefusalCode::BadAddress, "Invalid IP address starting with 127"};
    if (first < 1 || first > 223)
        throw Refusal{RefusalCode::BadAddress,
                      std::to_string(first) +
                          " is not valid. Please specify a value between 1 and 223."};
}

// The four numbers of an address that passed its check.
std::array<uint8_t, 4> addressBytes(std::string_view text)
{
    std::array<uint8_t, 4> bytes{};
    for (uint8_t& byte : bytes) {
        byte = static_cast<uint8_t>(LeadingNumber(text));
        const size_t dot = text.find('.');
        text.remove_prefix(dot == std::string_view::npos ? text.size() : dot + 1);
    }
    return bytes;
}

MatrixAction drastic(HostCommand command, bool confirmed, const char* what)
{
    if (!confirmed)
        throw Refusal{RefusalCode::NeedsConfirmation,
                      std::string(what) + " takes the matrix away for a while: confirm it"};
    MatrixAction action;
    action.commands = {std::move(command)};
    return action;
}

} // namespace

int EdidSourceCount(EdidMode mode)
{
    return mode == EdidDefault || mode == EdidUser ? kEdidSlotCount : kPortCount;
}

namespace Requests {

MatrixAction Route(int input, const std::vector<int>& outputs)
{
    requireNumber(input, 1, kPortCount, "input");
    const std::vector<int> targets = targetList(outputs, kPortCount, "output");
    std::vector<HostCommand> commands;
    for (int output : targets)
        commands.push_back(Commands::VideoRoute(output, input));
    MatrixAction action = statusAction(std::move(commands), ActionScope::Routing);
    action.confirmed = [=](const DeviceStatus& s) {
        return std::all_of(targets.begin(), targets.end(), [&](int output) {
            return allRead([&](int n) { return s.videoInput(n); }, output, input);
        });
    };
    return action;
}

MatrixAction SceneSave(int scene)
{
    requireNumber(scene, 1, kSceneCount, "scene");
    return statusAction({Commands::SceneSave(scene)}, ActionScope::Routing);
}

MatrixAction SceneRecall(int scene)
{
    requireNumber(scene, 1, kSceneCount, "scene");
    return statusAction({Commands::SceneRecall(scene)}, ActionScope::Routing);
}

MatrixAction SceneName(int scene, std::string_view name)
{
    requireNumber(scene, 1, kSceneCount, "scene");
    const std::string bytes = encodedName(name);
    return nameAction(Commands::SceneSaveNamed(scene, bytes), NameTable::Scene, scene, bytes);
}

MatrixAction RenamePort(PortGroup group, int port, std::string_view name)
{
    requireNumber(port, 1, kPortCount, "port");
    const std::string bytes = encodedName(name);
    const NameTable table = group == PortGroup::Input  ? NameTable::InputPort
                            : group == PortGroup::Hdmi ? NameTable::HdmiOutputPort
                                                       : NameTable::HdbtOutputPort;
    return nameAction(Commands::PortRename(group, port, bytes), table, port, bytes);
}

MatrixAction AudioInput(int input, AudioInputMode mode)
{
    requireTarget(input, kPortCount, "input");
    requireNumber(mode, AudioOff, AudioA, "the audio mode");
    MatrixAction action = statusAction({Commands::AudioInput(input, mode)}, ActionScope::Audio);
    action.confirmed = [=](const DeviceStatus& s) {
        return allRead([&](int n) { return s.audioInputMode(n); }, input, mode);
    };
    return action;
}

MatrixAction AudioOutput(int output, AudioPath path, bool on)
{
    requireTarget(output, kPortCount, "output");
    const bool spdif = path == AudioPath::Spdif;
    MatrixAction action = statusAction(
        {spdif ? Commands::AudioOutputSpdif(output, on) : Commands::AudioOutputIis(output, on)},
        ActionScope::Audio);
    action.confirmed = [=](const DeviceStatus& s) {
        const auto isOn = [&](int n) {
            return (spdif ? s.audioOutputSpdif(n) : s.audioOutputIis(n)) != 0 ? 1 : 0;
        };
        return allRead(isOn, output, on ? 1 : 0);
    };
    return action;
}

MatrixAction EdidInput(int input, EdidMode mode, int source)
{
    requireTarget(input, kPortCount, "input");
    requireNumber(mode, EdidDefault, EdidHdbt, "the EDID source");
    requireNumber(source, 1, EdidSourceCount(mode), "the EDID source number");
    MatrixAction action =
        statusAction({Commands::EdidInput(input, mode, source)}, ActionScope::Edid);
    action.confirmed = [=](const DeviceStatus& s) {
        return allRead([&](int n) { return s.edidMode(n); }, input, mode) &&
               allRead([&](int n) { return s.edidData(n) + 1; }, input, source);
    };
    return action;
}

MatrixAction EdidStoreUser(const std::vector<int>& userSlots, EdidMode outputKind, int output)
{
    for (int slot : userSlots)
        requireNumber(slot, 1, kEdidSlotCount, "user slot");
    const std::vector<int> targets = targetList(userSlots, kEdidSlotCount, "user slot");
    if (outputKind != EdidHdmi && outputKind != EdidHdbt)
        throw Refusal{RefusalCode::BadValue, "the output kind must be one of hdmi, hdbt, not " +
                                                 quoted(EdidModeWord(outputKind))};
    requireNumber(output, 1, kPortCount, "output");
    MatrixAction action;
    for (int slot : targets)
        action.commands.push_back(Commands::EdidStoreUser(slot, outputKind, output));
    action.confirmType = FrameEdidUserNames;
    action.confirmCount = static_cast<int>(targets.size());
    action.changes = ActionScope::Names;
    action.names = NameTable::EdidUser;
    return action;
}

MatrixAction StaticAddress(std::string_view ip, std::string_view mask, std::string_view gateway,
                           bool dhcp, bool otherSegmentConfirmed)
{
    requireAddress(CheckAddress(ip));
    requireFirstPart(ip);
    requireAddress(CheckMask(mask));
    requireAddress(CheckAddress(gateway));
    if (!otherSegmentConfirmed && !IsSameSegment(ip, mask, gateway))
        throw Refusal{RefusalCode::OtherSegment,
                      "The default gateway is not on the same network segment as the IP "
                      "address and the subnet mask"};
    MatrixAction action;
    action.commands = {Commands::IpStatic(ip, mask, gateway, dhcp)};
    action.confirmType = FrameNetwork;
    action.confirmed = [=, ipBytes = addressBytes(ip), maskBytes = addressBytes(mask),
                        gwBytes = addressBytes(gateway)](const DeviceStatus& s) {
        return s.ipAddress() == ipBytes && s.subnetMask() == maskBytes && s.gateway() == gwBytes &&
               (s.dhcp() == 1) == dhcp;
    };
    action.changes = ActionScope::Network;
    return action;
}

MatrixAction Dhcp(bool on)
{
    MatrixAction action;
    action.commands = {Commands::IpDhcp(on)};
    action.confirmType = FrameNetwork;
    action.confirmed = [=](const DeviceStatus& s) { return (s.dhcp() == 1) == on; };
    action.changes = ActionScope::Network;
    return action;
}

MatrixAction Restart(bool confirmed)
{
    return drastic(Commands::Restart(), confirmed, "A restart");
}

MatrixAction FactoryReset(bool confirmed)
{
    return drastic(Commands::FactoryReset(), confirmed, "A factory reset");
}

MatrixAction RawText(std::string_view text)
{
    QString lines = fromUtf8(text);
    lines.replace("\r\n", "\n").replace('\n', "\r\n");
    const auto bytes = EncodeCp936(lines);
    if (!bytes)
        throw Refusal{RefusalCode::BadText,
                      "the text holds characters that code page 936 cannot carry"};
    if (bytes->isEmpty())
        throw Refusal{RefusalCode::BadText, "the text is empty"};
    MatrixAction action;
    action.commands = {bytes->toStdString()};
    return action;
}

} // namespace Requests
