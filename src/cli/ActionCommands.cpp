// tavloctl subcommands that change the matrix: routing, scenes, names, audio, EDID, network,
// restart and factory reset. Every value is checked before the port is opened.
#include "CliFailure.h"
#include "CommandArguments.h"
#include "CommandRunner.h"
#include "HostCommands.h"
#include "MatrixCommands.h"
#include "ReplyFrame.h"
#include "StatusText.h"

#include <memory>

namespace
{

constexpr int kPorts = 4;
constexpr int kScenes = 8;
constexpr int kEdidSlots = 8;

// Arguments as CLI11 fills them; checked and turned into commands in the callback.
struct Args {
    std::vector<std::string> words;
    bool wait = false;
    bool yes = false;
    bool dhcp = false;
};

using Build = std::function<MatrixAction(const Args&)>;

CLI::App* addAction(CLI::App& parent, CliContext& context, const std::string& name,
                    const std::string& help, const std::string& usage, const Build& build,
                    bool waitable = true)
{
    auto args = std::make_shared<Args>();
    CLI::App* sub = parent.add_subcommand(name, help);
    sub->fallthrough();
    sub->add_option("ARGS", args->words, usage)->required();
    if (waitable)
        sub->add_flag("--wait", args->wait,
                      "wait for the matrix to confirm, print the new state (exit 4 if it does "
                      "not confirm in time)");
    sub->callback([&context, args, build] {
        RequirePort(context);
        const MatrixAction action = build(*args);
        RunGuarded(context, [&] { return RunMatrixAction(context, action, args->wait); });
    });
    return sub;
}

void expectWords(const Args& args, size_t count, const std::string& usage)
{
    if (args.words.size() != count)
        throw UsageError{"usage: " + usage};
}

bool routedEverywhere(const DeviceStatus& s, const std::vector<int>& outputs, int input)
{
    for (int o = 1; o <= kPorts; ++o) {
        const bool asked =
            outputs.front() == 0 || std::find(outputs.begin(), outputs.end(), o) != outputs.end();
        if (asked && s.videoInput(o) != input)
            return false;
    }
    return true;
}

std::function<std::string(const DeviceStatus&)> sections(int which)
{
    return [which](const DeviceStatus& s) { return FormatStatus(s, which); };
}

MatrixAction buildRoute(const Args& args)
{
    const std::string usage = "route INPUT OUTPUT...|all";
    if (args.words.size() < 2)
        throw UsageError{"usage: tavloctl route " + usage.substr(6)};
    const int input = ParseNumber(args.words[0], 1, kPorts, "input");
    const std::vector<int> outputs =
        ParseTargets({args.words.begin() + 1, args.words.end()}, kPorts, "output");
    MatrixAction action;
    for (int output : outputs)
        action.commands.push_back(Commands::VideoRoute(output, input));
    action.confirmType = FrameStatus;
    action.confirmed = [=](const DeviceStatus& s) { return routedEverywhere(s, outputs, input); };
    action.describe = sections(SectionRouting);
    return action;
}

MatrixAction buildScene(const Args& args)
{
    expectWords(args, 2, "tavloctl scene save|recall N");
    const int verb = ParseChoice(args.words[0], {"save", "recall"}, "the scene action");
    const int scene = ParseNumber(args.words[1], 1, kScenes, "scene");
    MatrixAction action;
    action.commands = {verb == 0 ? Commands::SceneSave(scene) : Commands::SceneRecall(scene)};
    action.confirmType = FrameStatus;
    action.describe = sections(SectionRouting);
    return action;
}

bool nameIs(const DeviceStatus& s, NameTable table, int entry, const std::string& bytes)
{
    return s.name(table, entry) == bytes;
}

MatrixAction buildSceneName(const Args& args)
{
    expectWords(args, 2, "tavloctl scene-name N NAME");
    const int scene = ParseNumber(args.words[0], 1, kScenes, "scene");
    const std::string name = EncodeName(args.words[1]);
    MatrixAction action;
    action.commands = {Commands::SceneSaveNamed(scene, name)};
    action.confirmType = FrameSceneNames;
    action.confirmed = [=](const DeviceStatus& s) {
        return nameIs(s, NameTable::Scene, scene, name);
    };
    action.describe = [](const DeviceStatus& s) {
        return "Scenes\n" + FormatNameTable(s, NameTable::Scene, kScenes);
    };
    return action;
}

MatrixAction buildName(const Args& args)
{
    expectWords(args, 3, "tavloctl name input|hdmi|hdbt N NAME");
    const int group = ParseChoice(args.words[0], {"input", "hdmi", "hdbt"}, "the port kind");
    const int port = ParseNumber(args.words[1], 1, kPorts, "port");
    const std::string name = EncodeName(args.words[2]);
    static const PortGroup groups[] = {PortGroup::Input, PortGroup::Hdmi, PortGroup::Hdbt};
    static const NameTable tables[] = {NameTable::InputPort, NameTable::HdmiOutputPort,
                                       NameTable::HdbtOutputPort};
    static const char* titles[] = {"Input names\n", "HDMI output names\n", "HDBT output names\n"};
    const NameTable table = tables[group];
    MatrixAction action;
    action.commands = {Commands::PortRename(groups[group], port, name)};
    action.confirmType = NameTableFrameType(table);
    action.confirmed = [=](const DeviceStatus& s) { return nameIs(s, table, port, name); };
    action.describe = [=](const DeviceStatus& s) {
        return titles[group] + FormatNameTable(s, table, kPorts);
    };
    return action;
}

// Whether every addressed port (0: all) reads the value.
bool allRead(const std::function<int(int)>& read, int target, int value)
{
    for (int n = 1; n <= kPorts; ++n) {
        if ((target == 0 || target == n) && read(n) != value)
            return false;
    }
    return true;
}

MatrixAction buildAudioInput(const Args& args)
{
    expectWords(args, 2, "tavloctl audio input N|all off|h|a");
    const int input = ParseTarget(args.words[0], kPorts, "input");
    const int mode = ParseChoice(args.words[1], {"off", "h", "a"}, "the audio mode");
    MatrixAction action;
    action.commands = {Commands::AudioInput(input, mode)};
    action.confirmType = FrameStatus;
    action.confirmed = [=](const DeviceStatus& s) {
        return allRead([&](int n) { return s.audioInputMode(n); }, input, mode);
    };
    action.describe = sections(SectionAudio);
    return action;
}

MatrixAction buildAudioOutput(const Args& args)
{
    expectWords(args, 3, "tavloctl audio output N|all iis|spdif on|off");
    const int output = ParseTarget(args.words[0], kPorts, "output");
    const bool spdif = ParseChoice(args.words[1], {"iis", "spdif"}, "the audio path") == 1;
    const bool on = ParseChoice(args.words[2], {"off", "on"}, "the switch") == 1;
    MatrixAction action;
    action.commands = {spdif ? Commands::AudioOutputSpdif(output, on)
                             : Commands::AudioOutputIis(output, on)};
    action.confirmType = FrameStatus;
    action.confirmed = [=](const DeviceStatus& s) {
        return allRead(
            [&](int n) {
                return (spdif ? s.audioOutputSpdif(n) : s.audioOutputIis(n)) != 0 ? 1 : 0;
            },
            output, on ? 1 : 0);
    };
    action.describe = sections(SectionAudio);
    return action;
}

MatrixAction buildEdidInput(const Args& args)
{
    expectWords(args, 3, "tavloctl edid input N|all default|user|hdmi|hdbt K");
    const int input = ParseTarget(args.words[0], kPorts, "input");
    const int mode =
        ParseChoice(args.words[1], {"default", "user", "hdmi", "hdbt"}, "the EDID source");
    const int limit = mode == EdidDefault || mode == EdidUser ? kEdidSlots : kPorts;
    const int source = ParseNumber(args.words[2], 1, limit, "the EDID source number");
    MatrixAction action;
    action.commands = {Commands::EdidInput(input, mode, source)};
    action.confirmType = FrameStatus;
    action.confirmed = [=](const DeviceStatus& s) {
        return allRead([&](int n) { return s.edidMode(n); }, input, mode) &&
               allRead([&](int n) { return s.edidData(n) + 1; }, input, source);
    };
    action.describe = sections(SectionEdid);
    return action;
}

MatrixAction buildEdidStore(const Args& args)
{
    const std::string usage = "usage: tavloctl edid store-user SLOT... hdmi|hdbt N";
    if (args.words.size() < 3)
        throw UsageError{usage};
    const size_t n = args.words.size();
    const std::vector<int> slots =
        ParseTargets({args.words.begin(), args.words.end() - 2}, kEdidSlots, "user slot");
    if (slots.front() == 0)
        throw UsageError{"name the user slots: " + usage.substr(7)};
    const int mode = EdidHdmi + ParseChoice(args.words[n - 2], {"hdmi", "hdbt"}, "the output kind");
    const int output = ParseNumber(args.words[n - 1], 1, kPorts, "output");
    MatrixAction action;
    for (int slot : slots)
        action.commands.push_back(Commands::EdidStoreUser(slot, mode, output));
    action.confirmType = FrameEdidUserNames;
    action.confirmCount = static_cast<int>(slots.size());
    action.describe = [](const DeviceStatus& s) {
        return "User EDIDs\n" + FormatNameTable(s, NameTable::EdidUser, kEdidSlots);
    };
    return action;
}

std::array<uint8_t, 4> addressBytes(const std::string& text)
{
    std::array<uint8_t, 4> bytes{};
    size_t at = 0;
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(std::stoi(text.substr(at)));
        at = text.find('.', at) + 1;
    }
    return bytes;
}

MatrixAction buildIpStatic(const Args& args)
{
    expectWords(args, 3, "tavloctl ip static IP MASK GW [--dhcp] [--yes]");
    const std::string& ip = args.words[0];
    const std::string& mask = args.words[1];
    const std::string& gw = args.words[2];
    CheckStaticAddress(ip, mask, gw, args.yes);
    MatrixAction action;
    action.commands = {Commands::IpStatic(ip, mask, gw, args.dhcp)};
    action.confirmType = FrameNetwork;
    const bool dhcp = args.dhcp;
    action.confirmed = [=](const DeviceStatus& s) {
        return s.ipAddress() == addressBytes(ip) && s.subnetMask() == addressBytes(mask) &&
               s.gateway() == addressBytes(gw) && (s.dhcp() == 1) == dhcp;
    };
    action.describe = sections(SectionNetwork);
    return action;
}

MatrixAction buildDhcp(const Args& args)
{
    expectWords(args, 1, "tavloctl dhcp on|off");
    const bool on = ParseChoice(args.words[0], {"off", "on"}, "dhcp") == 1;
    MatrixAction action;
    action.commands = {Commands::IpDhcp(on)};
    action.confirmType = FrameNetwork;
    action.confirmed = [=](const DeviceStatus& s) { return (s.dhcp() == 1) == on; };
    action.describe = sections(SectionNetwork);
    return action;
}

// Restart and factory reset take the matrix away for a while; a script must mean it.
void addDrastic(CLI::App& app, CliContext& context, const std::string& name,
                const std::string& help, const HostCommand& command)
{
    auto yes = std::make_shared<bool>(false);
    CLI::App* sub = app.add_subcommand(name, help);
    sub->fallthrough();
    sub->add_flag("--yes", *yes, "really do it");
    sub->callback([&context, yes, name, command] {
        if (!*yes)
            throw UsageError{name + " needs --yes"};
        RequirePort(context);
        MatrixAction action;
        action.commands = {command};
        RunGuarded(context, [&] { return RunMatrixAction(context, action, false); });
    });
}

void addAudio(CLI::App& app, CliContext& context)
{
    CLI::App* audio = app.add_subcommand("audio", "Set the audio of inputs or outputs.");
    audio->require_subcommand(1);
    audio->fallthrough();
    addAction(*audio, context, "input", "Audio mode of an input (or all): off, H or A.",
              "N|all off|h|a", buildAudioInput);
    addAction(*audio, context, "output", "Switch the I2S or S/PDIF audio of an output (or all).",
              "N|all iis|spdif on|off", buildAudioOutput);
}

void addEdid(CLI::App& app, CliContext& context)
{
    CLI::App* edid = app.add_subcommand("edid", "Choose the EDID of inputs; store user EDIDs.");
    edid->require_subcommand(1);
    edid->fallthrough();
    addAction(*edid, context, "input",
              "The EDID an input (or all) presents: built-in (default) or user slot 1-8, or the "
              "EDID of HDMI or HDBT output 1-4.",
              "N|all default|user|hdmi|hdbt K", buildEdidInput);
    addAction(*edid, context, "store-user",
              "Copy the EDID of an HDMI or HDBT output into user slots.", "SLOT... hdmi|hdbt N",
              buildEdidStore);
}

void addIp(CLI::App& app, CliContext& context)
{
    CLI::App* ip = app.add_subcommand("ip", "Network settings of the matrix.");
    ip->require_subcommand(1);
    ip->fallthrough();
    auto args = std::make_shared<Args>();
    CLI::App* stat = ip->add_subcommand(
        "static", "Set a static address, mask and gateway (checked as the Network page does).");
    stat->fallthrough();
    stat->add_option("ARGS", args->words, "IP MASK GW")->required();
    stat->add_flag("--dhcp", args->dhcp, "send the settings with the DHCP flag on");
    stat->add_flag("--yes", args->yes, "send a gateway outside the address's network segment");
    stat->add_flag("--wait", args->wait, "wait for the new network settings and print them");
    stat->callback([&context, args] {
        RequirePort(context);
        const MatrixAction action = buildIpStatic(*args);
        RunGuarded(context, [&] { return RunMatrixAction(context, action, args->wait); });
    });
}

} // namespace

void RegisterActionCommands(CLI::App& app, CliContext& context)
{
    addAction(app, context, "route", "Route an input to outputs (one command per output).",
              "INPUT OUTPUT...|all", buildRoute);
    addAction(app, context, "scene", "Save the routing as scene N, or recall scene N.",
              "save|recall N", buildScene);
    addAction(app, context, "scene-name",
              "Name scene N (the matrix also stores the current routing in it).", "N NAME",
              buildSceneName);
    addAction(app, context, "name", "Rename an input, HDMI output or HDBT output.",
              "input|hdmi|hdbt N NAME", buildName);
    addAudio(app, context);
    addEdid(app, context);
    addIp(app, context);
    addAction(app, context, "dhcp", "Switch the matrix's DHCP client on or off.", "on|off",
              buildDhcp);
    addDrastic(app, context, "reboot", "Restart the matrix (needs --yes).", Commands::Restart());
    addDrastic(app, context, "factory", "Restore the matrix's factory settings (needs --yes).",
               Commands::FactoryReset());
}
