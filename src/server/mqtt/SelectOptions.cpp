#include "SelectOptions.h"

#include "ControlWords.h"
#include "InputChoice.h"
#include "Refusal.h"

#include <algorithm>
#include <map>

namespace {

bool isBareNumber(const QString& text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// Texts that Home Assistant or the command parser would read as something else.
bool mistakable(const QString& text)
{
    return isBareNumber(text) || text.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0;
}

QString withNumber(const QString& text, qsizetype index)
{
    return QStringLiteral("%1 (In %2)").arg(text).arg(index + 1);
}

} // namespace

SelectOptions::SelectOptions(std::vector<Option> options, Fallback fallback)
    : options_(std::move(options)), fallback_(std::move(fallback))
{
}

QJsonArray SelectOptions::Texts() const
{
    QJsonArray texts;
    for (const Option& option : options_)
        texts.append(option.text);
    return texts;
}

QString SelectOptions::TextOf(int value) const
{
    const auto it = std::find_if(options_.begin(), options_.end(),
                                 [value](const Option& option) { return option.value == value; });
    return it == options_.end() ? QString() : it->text;
}

int SelectOptions::Read(const std::string& word) const
{
    const QString text = QString::fromStdString(word);
    for (const Option& option : options_) {
        if (option.text == text)
            return option.value;
    }
    try {
        return fallback_(word);
    } catch (Refusal& refusal) {
        QStringList texts;
        for (const Option& option : options_)
            texts.append(option.text);
        refusal.message += ", nor one of the options: " + texts.join(", ").toStdString();
        throw;
    }
}

// A name told apart by its input's number can meet nothing else: the number at its end is the
// input's own, and a plain option that meets it is told apart in turn. Each round tells apart
// at least one more, so this ends within one round per input.
QStringList InputOptionTexts(const QStringList& names)
{
    QStringList texts;
    std::vector<bool> fixed; // "Input n" and "NAME (In n)": final as they are
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString name = names[i].trimmed();
        texts.append(name.isEmpty()     ? QStringLiteral("Input %1").arg(i + 1)
                     : mistakable(name) ? withNumber(name, i)
                                        : name);
        fixed.push_back(name.isEmpty() || mistakable(name));
    }
    for (bool changed = true; changed;) {
        changed = false;
        std::map<QString, int> uses;
        for (const QString& text : texts)
            ++uses[text];
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (fixed[i] || uses[texts[i]] == 1)
                continue;
            texts[i] = withNumber(texts[i], i);
            fixed[i] = true;
            changed = true;
        }
    }
    return texts;
}

SelectOptions InputOptions(const QJsonObject& state)
{
    QStringList names;
    for (const QJsonValue& input : state["inputs"].toArray())
        names.append(input["name"].toString());
    const QStringList texts = InputOptionTexts(names);
    std::vector<SelectOptions::Option> options;
    for (qsizetype i = 0; i < texts.size(); ++i)
        options.push_back({texts[i], int(i + 1)});
    // Past the options' own texts, the rule every front end shares: a number, or a name
    // the matrix holds (exact, then ignoring case).
    return SelectOptions(std::move(options), [names = InputNames(state)](const std::string& word) {
        return ParseInputChoice(word, names);
    });
}

SelectOptions AudioModeOptions()
{
    return SelectOptions({{"Off", AudioOff}, {"HDMI", AudioH}, {"Analog", AudioA}},
                         [](const std::string& word) { return int(ParseAudioMode(word)); });
}
