// tavloctl subcommands that change the matrix: routing, scenes, names, audio, EDID, network,
// restart and factory reset. Every value is checked before the port is opened.
#include "CommandRunner.h"
#include "InputChoice.h"
#include "MatrixCommands.h"
#include "MatrixRequests.h"

#include <algorithm>
#include <memory>

namespace {

// Arguments as CLI11 fills them; checked and turned into commands in the callback.
struct Args {
    std::vector<std::string> words;
    bool wait = false;
    bool yes = false;
    bool dhcp = false;
};

using Build = std::function<MatrixAction(const Args&)>;
// For arguments that name what only the matrix knows (an input by its name): the action built
// from the matrix's state. Empty when the arguments need nothing of it.
using BuildOnState = std::function<std::function<MatrixAction(const DeviceStatus&)>(const Args&)>;

CLI::App* addAction(CLI::App& parent, CliContext& context, const std::string& name,
                    const std::string& help, const std::string& usage, const Build& build,
                    bool waitable = true, const BuildOnState& onState = {})
{
    auto args = std::make_shared<Args>();
    CLI::App* sub = parent.add_subcommand(name, help);
    sub->fallthrough();
    sub->add_option("ARGS", args->words)->option_text(usage)->required();
    if (waitable)
        sub->add_flag("--wait", args->wait,
                      "wait for the matrix to confirm, then print the new state; exit 4 if it "
                      "does not confirm within --timeout (5 s)");
    sub->callback([&context, args, build, onState] {
        RequirePort(context);
        if (const auto fromState = onState ? onState(*args) : nullptr) {
            RunGuarded(context,
                       [&] { return RunMatrixActionOnState(context, fromState, args->wait); });
            return;
        }
        const MatrixAction action = build(*args);
        RunGuarded(context, [&] { return RunMatrixAction(context, action, args->wait); });
    });
    return sub;
}

// The shared layer asks for confirmation in its own words; here the confirmation is --yes.
MatrixAction confirmedByYes(const std::string& name, const std::function<MatrixAction()>& request)
{
    try {
        return request();
    } catch (Refusal& refusal) {
        if (refusal.code == RefusalCode::NeedsConfirmation)
            refusal.message = name + " needs --yes";
        if (refusal.code == RefusalCode::OtherSegment)
            refusal.message += "; add --yes to send it anyway";
        throw;
    }
}

void expectWords(const Args& args, size_t count, const std::string& usage)
{
    if (args.words.size() != count)
        throw UsageError{"usage: " + usage};
}

MatrixAction routeTo(int input, const Args& args)
{
    return Requests::Route(
        input, ParseTargets({args.words.begin() + 1, args.words.end()}, kPortCount, "output"));
}

MatrixAction buildRoute(const Args& args)
{
    if (args.words.size() < 2)
        throw UsageError{"usage: tavloctl route INPUT OUTPUT...|all"};
    return routeTo(ParseNumber(args.words[0], 1, kPortCount, "input"), args);
}

// An input given by its name is looked up in the names the matrix holds.
std::function<MatrixAction(const DeviceStatus&)> routeByName(const Args& args)
{
    if (args.words.size() < 2 || IsPortNumberText(args.words[0]))
        return nullptr;
    ParseTargets({args.words.begin() + 1, args.words.end()}, kPortCount, "output");
    return [args](const DeviceStatus& status) {
        return routeTo(ParseInputChoice(args.words[0], InputNames(status)), args);
    };
}

MatrixAction buildSceneSave(const Args& args)
{
    expectWords(args, 1, "tavloctl scene save N");
    return Requests::SceneSave(ParseNumber(args.words[0], 1, kSceneCount, "scene"));
}

MatrixAction buildSceneRecall(const Args& args)
{
    expectWords(args, 1, "tavloctl scene recall N");
    return Requests::SceneRecall(ParseNumber(args.words[0], 1, kSceneCount, "scene"));
}

MatrixAction buildSceneName(const Args& args)
{
    expectWords(args, 2, "tavloctl scene-name N NAME");
    return Requests::SceneName(ParseNumber(args.words[0], 1, kSceneCount, "scene"), args.words[1]);
}

MatrixAction buildName(const Args& args)
{
    expectWords(args, 3, "tavloctl name input|hdmi|hdbt N NAME");
    const PortGroup group = ParsePortGroup(args.words[0]);
    return Requests::RenamePort(group, ParseNumber(args.words[1], 1, kPortCount, "port"),
                                args.words[2]);
}

MatrixAction buildAudioInput(const Args& args)
{
    expectWords(args, 2, "tavloctl audio input N|all off|h|a");
    const int input = ParseTarget(args.words[0], kPortCount, "input");
    return Requests::AudioInput(input, ParseAudioMode(args.words[1]));
}

MatrixAction buildAudioOutput(const Args& args)
{
    expectWords(args, 3, "tavloctl audio output N|all iis|spdif on|off");
    const int output = ParseTarget(args.words[0], kPortCount, "output");
    const AudioPath path = ParseAudioPath(args.words[1]);
    return Requests::AudioOutput(output, path, ParseSwitch(args.words[2], "the switch"));
}

MatrixAction buildEdidInput(const Args& args)
{
    expectWords(args, 3, "tavloctl edid input N|all default|user|hdmi|hdbt K");
    const int input = ParseTarget(args.words[0], kPortCount, "input");
    const EdidMode mode = ParseEdidMode(args.words[1]);
    const int source =
        ParseNumber(args.words[2], 1, EdidSourceCount(mode), "the EDID source number");
    return Requests::EdidInput(input, mode, source);
}

MatrixAction buildEdidStore(const Args& args)
{
    const std::string usage = "tavloctl edid store-user SLOT... hdmi|hdbt N";
    const size_t n = args.words.size();
    if (n < 3)
        throw UsageError{"usage: " + usage};
    const std::vector<int> userSlots =
        ParseTargets({args.words.begin(), args.words.end() - 2}, kEdidSlotCount, "user slot");
    if (std::find(userSlots.begin(), userSlots.end(), kAllPorts) != userSlots.end())
        throw UsageError{"name the user slots: " + usage};
    const EdidMode kind = ParseEdidOutputKind(args.words[n - 2]);
    return Requests::EdidStoreUser(userSlots, kind,
                                   ParseNumber(args.words[n - 1], 1, kPortCount, "output"));
}

MatrixAction buildIpStatic(const Args& args)
{
    expectWords(args, 3, "tavloctl ip static IP MASK GW [--dhcp] [--yes]");
    return confirmedByYes("ip static", [&] {
        return Requests::StaticAddress(args.words[0], args.words[1], args.words[2], args.dhcp,
                                       args.yes);
    });
}

MatrixAction buildDhcp(const Args& args)
{
    expectWords(args, 1, "tavloctl dhcp on|off");
    return Requests::Dhcp(ParseSwitch(args.words[0], "dhcp"));
}

// Restart and factory reset take the matrix away for a while; a script must mean it.
void addDrastic(CLI::App& app, CliContext& context, const std::string& name,
                const std::string& help, MatrixAction (*request)(bool confirmed))
{
    auto yes = std::make_shared<bool>(false);
    CLI::App* sub = app.add_subcommand(name, help);
    sub->fallthrough();
    sub->add_flag("--yes", *yes, "really do it");
    sub->callback([&context, yes, name, request] {
        const MatrixAction action = confirmedByYes(name, [&] { return request(*yes); });
        RequirePort(context);
        RunGuarded(context, [&] { return RunMatrixAction(context, action, false); });
    });
}

void addScene(CLI::App& app, CliContext& context)
{
    CLI::App* scene = app.add_subcommand("scene", "Save the routing as a scene, or recall one.");
    scene->require_subcommand(1);
    scene->fallthrough();
    addAction(*scene, context, "save", "Save the current routing as scene N (1-8).", "N",
              buildSceneSave);
    addAction(*scene, context, "recall", "Recall scene N (1-8).", "N", buildSceneRecall);
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
    stat->add_option("ARGS", args->words, "the address, the mask and the gateway")
        ->option_text("IP MASK GW")
        ->required();
    stat->add_flag("--dhcp", args->dhcp, "send the settings with the DHCP flag on");
    stat->add_flag("--yes", args->yes, "send a gateway outside the address's network segment");
    stat->add_flag("--wait", args->wait,
                   "wait for the new network settings and print them; exit 4 if they do not "
                   "come within --timeout (5 s)");
    stat->callback([&context, args] {
        RequirePort(context);
        const MatrixAction action = buildIpStatic(*args);
        RunGuarded(context, [&] { return RunMatrixAction(context, action, args->wait); });
    });
}

} // namespace

void RegisterActionCommands(CLI::App& app, CliContext& context)
{
    addAction(app, context, "route",
              "Route an input, by its number or its name, to outputs (one command per output).",
              "INPUT OUTPUT...|all", buildRoute, true, routeByName);
    addScene(app, context);
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
    addDrastic(app, context, "reboot", "Restart the matrix (needs --yes).", Requests::Restart);
    addDrastic(app, context, "factory", "Restore the matrix's factory settings (needs --yes).",
               Requests::FactoryReset);
}
