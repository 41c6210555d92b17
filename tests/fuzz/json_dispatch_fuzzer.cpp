// Feeds a line to the JSON request reader and, when it is a request, to the translation into
// matrix commands. Whatever comes in, every command built is one "#" command with no control
// byte that could end it early, and a name goes out as bytes that read back as the name asked.
#include "ApiPeer.h"
#include "ApiRequests.h"
#include "Cp936.h"
#include "Refusal.h"

#include <cstdint>

namespace {

bool isOneCommand(const std::string& command)
{
    if (command.empty() || command[0] != '#')
        return false;
    for (size_t i = 0; i < command.size(); ++i) {
        const auto c = static_cast<unsigned char>(command[i]);
        if (c < 0x20 || c == 0x7f || (i > 0 && c == '#'))
            return false;
    }
    return true;
}

// A name command ends in " name=" and the name's bytes; the name may hold " name=" itself, so
// the command's own is the first.
void checkName(const std::string& command, const QString& asked)
{
    const size_t at = command.find(" name=");
    if (at == std::string::npos)
        __builtin_trap();
    if (DecodeCp936(std::string_view(command).substr(at + 6)) != asked)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const ApiRequestText read =
        ReadApiRequest(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (read.errorCode)
        return 0;
    const QString cmd = read.request.value("cmd").toString();
    std::optional<ApiAction> action;
    try {
        action = ActionForRequest(cmd, read.request);
    } catch (const Refusal&) {
        return 0;
    } catch (const BadRequest&) {
        return 0;
    }
    if (!action)
        return 0;
    const bool raw = cmd == QLatin1String("send");
    for (const std::string& command : action->action.commands) {
        if (!raw && !isOneCommand(command))
            __builtin_trap();
    }
    const bool naming = cmd == QLatin1String("name") || cmd == QLatin1String("scene_name");
    if (naming && !action->action.commands.empty())
        checkName(action->action.commands.back(), read.request.value("name").toString());
    return 0;
}
