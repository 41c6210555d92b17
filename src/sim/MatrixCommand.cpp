#include "MatrixCommand.h"

#include "MatrixState.h"

#include <charconv>

namespace
{

constexpr size_t kNameLimit = 16;

// Reads a line front to back; every step either consumes what it expects or fails.
class Scanner
{
public:
    explicit Scanner(std::string_view text) : rest_(text) {}

    bool literal(std::string_view word)
    {
        if (!rest_.starts_with(word))
            return false;
        rest_.remove_prefix(word.size());
        return true;
    }

    // Plain decimal: 1 to 3 digits, no sign, no leading zero (except "0" itself).
    bool number(int& out)
    {
        size_t n = 0;
        while (n < rest_.size() && n < 4 && rest_[n] >= '0' && rest_[n] <= '9')
            ++n;
        if (n == 0 || n > 3 || (n > 1 && rest_[0] == '0'))
            return false;
        std::from_chars(rest_.data(), rest_.data() + n, out);
        rest_.remove_prefix(n);
        return true;
    }

    // A dotted address of four parts of 1 to 3 digits each, every part at most 255.
    bool address(Address& out)
    {
        for (size_t part = 0; part < out.size(); ++part) {
            if (part > 0 && !literal("."))
                return false;
            size_t n = 0;
            while (n < rest_.size() && n < 4 && rest_[n] >= '0' && rest_[n] <= '9')
                ++n;
            int value = 0;
            if (n == 0 || n > 3)
                return false;
            std::from_chars(rest_.data(), rest_.data() + n, value);
            if (value > 255)
                return false;
            out[part] = static_cast<uint8_t>(value);
            rest_.remove_prefix(n);
        }
        return true;
    }

    bool atEnd() const { return rest_.empty(); }
    std::string_view takeRest()
    {
        const std::string_view all = rest_;
        rest_ = {};
        return all;
    }

private:
    std::string_view rest_;
};

ParsedCommand refuse(std::string reason)
{
    return {std::nullopt, std::move(reason)};
}

ParsedCommand accept(const MatrixCommand& command)
{
    return {command, {}};
}

MatrixCommand commandOf(CommandKind kind, int target = 0)
{
    MatrixCommand command;
    command.kind = kind;
    command.target = target;
    return command;
}

bool inRange(int value, int low, int high)
{
    return value >= low && value <= high;
}

std::string rangeError(const char* what, int value, int low, int high)
{
    return std::string(what) + " " + std::to_string(value) + " outside " + std::to_string(low) +
           ".." + std::to_string(high);
}

// A name the matrix can keep: at most 16 bytes, no control characters.
std::optional<std::string> nameError(std::string_view name)
{
    if (name.size() > kNameLimit)
        return "name of " + std::to_string(name.size()) + " bytes, longer than 16";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return std::string("name holds a control character");
    }
    return std::nullopt;
}

ParsedCommand parseRoute(Scanner& s)
{
    MatrixCommand c = commandOf(CommandKind::Route);
    if (!s.literal("out") || !s.number(c.target) || !s.literal(" matrix=") || !s.number(c.value) ||
        !s.atEnd())
        return refuse("malformed #video_d");
    if (!inRange(c.target, 0, kMatrixOutputs))
        return refuse(rangeError("output", c.target, 0, kMatrixOutputs));
    if (!inRange(c.value, 1, kMatrixInputs))
        return refuse(rangeError("input", c.value, 1, kMatrixInputs));
    return accept(c);
}

ParsedCommand parseGroup(Scanner& s)
{
    MatrixCommand c = commandOf(CommandKind::SceneSave);
    int exe = 0;
    if (!s.number(c.target) || !s.literal(" exe=") || !s.number(exe))
        return refuse("malformed #group");
    if (!inRange(c.target, 1, kMatrixScenes))
        return refuse(rangeError("scene", c.target, 1, kMatrixScenes));
    if (exe == 2 && s.atEnd())
        return accept(commandOf(CommandKind::SceneRecall, c.target));
    if (exe != 1)
        return refuse("#group with exe other than 1 (save) or 2 (recall)");
    if (s.atEnd())
        return accept(c);
    if (!s.literal(" name="))
        return refuse("malformed #group");
    const std::string_view name = s.takeRest();
    if (auto error = nameError(name))
        return refuse(*error);
    c.name = std::string(name);
    return accept(c);
}

ParsedCommand parsePort(Scanner& s)
{
    MatrixCommand c = commandOf(CommandKind::PortRename);
    if (s.literal("in"))
        c.group = PortGroup::Input;
    else if (s.literal("hdmi"))
        c.group = PortGroup::Hdmi;
    else if (s.literal("hdbt"))
        c.group = PortGroup::Hdbt;
    else
        return refuse("malformed #port");
    if (!s.number(c.target) || !s.literal(" name="))
        return refuse("malformed #port");
    if (!inRange(c.target, 1, kMatrixInputs))
        return refuse(rangeError("port", c.target, 1, kMatrixInputs));
    const std::string_view name = s.takeRest();
    if (auto error = nameError(name))
        return refuse(*error);
    c.name = std::string(name);
    return accept(c);
}

ParsedCommand parseAudioOutput(Scanner& s)
{
    MatrixCommand c = commandOf(CommandKind::AudioIis);
    if (!s.number(c.target))
        return refuse("malformed #audio_d");
    if (s.literal(" spdif="))
        c.kind = CommandKind::AudioSpdif;
    else if (!s.literal(" iis="))
        return refuse("malformed #audio_d");
    if (!s.number(c.value) || !s.atEnd())
        return refuse("malformed #audio_d");
    if (!inRange(c.target, 0, kMatrixOutputs))
        return refuse(rangeError("output", c.target, 0, kMatrixOutputs));
    if (!inRange(c.value, 0, 1))
        return refuse(rangeError("switch", c.value, 0, 1));
    return accept(c);
}

ParsedCommand parseAudio(Scanner& s)
{
    if (s.literal("out"))
        return parseAudioOutput(s);
    MatrixCommand c = commandOf(CommandKind::AudioInput);
    if (!s.literal("in") || !s.number(c.target) || !s.literal(" enc=") || !s.number(c.value) ||
        !s.atEnd())
        return refuse("malformed #audio_d");
    if (!inRange(c.target, 0, kMatrixInputs))
        return refuse(rangeError("input", c.target, 0, kMatrixInputs));
    if (!inRange(c.value, AudioOff, AudioA))
        return refuse(rangeError("audio mode", c.value, AudioOff, AudioA));
    return accept(c);
}

// Built-in and user EDIDs come from slots 1..8, the others from outputs 1..4.
int edidSourceLimit(int mode)
{
    return mode == EdidDefault || mode == EdidUser ? kEdidSlots : kMatrixOutputs;
}

ParsedCommand parseEdid(Scanner& s)
{
    MatrixCommand c = commandOf(CommandKind::EdidInput);
    if (s.literal("user"))
        c.kind = CommandKind::EdidStoreUser;
    else if (!s.literal("in"))
        return refuse("malformed #edid_d");
    if (!s.number(c.target) || !s.literal(" mode=") || !s.number(c.value) || !s.literal(" data=") ||
        !s.number(c.data) || !s.atEnd())
        return refuse("malformed #edid_d");
    const bool user = c.kind == CommandKind::EdidStoreUser;
    const int low = user ? 1 : 0;
    const int high = user ? kEdidSlots : kMatrixInputs;
    if (!inRange(c.target, low, high))
        return refuse(rangeError(user ? "user slot" : "input", c.target, low, high));
    if (!inRange(c.value, user ? EdidHdmi : EdidDefault, EdidHdbt))
        return refuse(rangeError("EDID mode", c.value, user ? EdidHdmi : EdidDefault, EdidHdbt));
    if (!inRange(c.data, 1, edidSourceLimit(c.value)))
        return refuse(rangeError("EDID source", c.data, 1, edidSourceLimit(c.value)));
    return accept(c);
}

ParsedCommand parseIp(Scanner& s)
{
    MatrixCommand c = commandOf(CommandKind::IpDhcp);
    if (!s.literal("dhcp=")) {
        c.kind = CommandKind::IpStatic;
        if (!s.literal("ip=") || !s.address(c.ip) || !s.literal(" mask=") || !s.address(c.mask) ||
            !s.literal(" gw=") || !s.address(c.gateway) || !s.literal(" dhcp="))
            return refuse("malformed #ip");
    }
    if (!s.number(c.value) || !s.atEnd())
        return refuse("malformed #ip");
    if (!inRange(c.value, 0, 1))
        return refuse(rangeError("dhcp", c.value, 0, 1));
    return accept(c);
}

ParsedCommand parseFixed(std::string_view line)
{
    if (line == "#power start=1")
        return accept(commandOf(CommandKind::Restart));
    if (line == "#factory")
        return accept(commandOf(CommandKind::Factory));
    if (line == "#upper:80/00")
        return accept(commandOf(CommandKind::RequestAll));
    if (line == "#upper:20/0F")
        return accept(commandOf(CommandKind::RequestStatus));
    return refuse("unknown command");
}

} // namespace

ParsedCommand ParseMatrixCommand(std::string_view line)
{
    if (!line.starts_with('#'))
        return refuse("does not begin with '#'");
    if (line.find('#', 1) != std::string_view::npos)
        return refuse("holds a second '#': two commands sent without a pause between them");
    Scanner s(line);
    if (s.literal("#video_d "))
        return parseRoute(s);
    if (s.literal("#group"))
        return parseGroup(s);
    if (s.literal("#port "))
        return parsePort(s);
    if (s.literal("#audio_d "))
        return parseAudio(s);
    if (s.literal("#edid_d "))
        return parseEdid(s);
    if (s.literal("#ip "))
        return parseIp(s);
    return parseFixed(line);
}
