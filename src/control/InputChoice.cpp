#include "InputChoice.h"

#include "ControlWords.h"
#include "Cp936.h"
#include "MatrixRequests.h"
#include "Refusal.h"

#include <QJsonArray>
#include <QString>
#include <algorithm>
#include <cctype>

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The one input the name matches under the comparison; 0 for none, -1 for more than one.
int matchingInput(const QString& wanted, const std::vector<std::string>& names,
                  Qt::CaseSensitivity sensitivity)
{
    int found = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty() || wanted.compare(fromUtf8(names[i]), sensitivity) != 0)
            continue;
        if (found != 0)
            return -1;
        found = static_cast<int>(i + 1);
    }
    return found;
}

std::string namesListed(const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty())
            text += (text.empty() ? "" : ", ") + std::to_string(i + 1) + " '" + names[i] + "'";
    }
    return text;
}

} // namespace

bool IsPortNumberText(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

int ParseInputChoice(std::string_view text, const std::vector<std::string>& names,
                     std::string_view what)
{
    if (IsPortNumberText(text))
        return ParseNumber(text, 1, kPortCount, what);
    const QString wanted = fromUtf8(text);
    int input = matchingInput(wanted, names, Qt::CaseSensitive);
    if (input == 0)
        input = matchingInput(wanted, names, Qt::CaseInsensitive);
    if (input > 0)
        return input;
    const std::string known = namesListed(names);
    if (input < 0)
        throw Refusal{RefusalCode::BadValue,
                      "'" + std::string(text) +
                          "' names more than one input; give its number: " + known};
    throw Refusal{RefusalCode::BadValue,
                  std::string(what) + " must be a number from 1 to " + std::to_string(kPortCount) +
                      " or an input's name, not '" + std::string(text) + "'" +
                      (known.empty() ? std::string() : "; the inputs are " + known)};
}

std::vector<std::string> InputNames(const DeviceStatus& status)
{
    std::vector<std::string> names;
    const bool arrived =
        (status.framesReceived.load() >> NameTableFrameType(NameTable::InputPort)) & 1u;
    for (int n = 1; n <= kPortCount; ++n)
        names.push_back(arrived ? DecodeCp936(status.name(NameTable::InputPort, n)).toStdString()
                                : std::string());
    return names;
}

std::vector<std::string> InputNames(const QJsonObject& state)
{
    std::vector<std::string> names;
    const QJsonArray inputs = state.value("inputs").toArray();
    for (int n = 1; n <= kPortCount; ++n)
        names.push_back(inputs.at(n - 1).toObject().value("name").toString().toStdString());
    return names;
}
