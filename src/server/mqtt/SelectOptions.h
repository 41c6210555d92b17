#pragma once
// The options of a Home Assistant select and what each one stands for, in one table that
// discovery offers, the state topics show and the command parser reads back, so the three can
// never disagree. Home Assistant compares options byte for byte and reads the payload "none"
// (any case) as "no option", so every option is trimmed, never empty, never "none", and
// unique.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class SelectOptions {
public:
    struct Option {
        QString text;
        int value; // an input number, an audio mode: what the command sends
    };
    // Reads a payload that is none of the options (a number, a word the commands take);
    // throws Refusal when it cannot.
    using Fallback = std::function<int(const std::string& word)>;

    SelectOptions(std::vector<Option> options, Fallback fallback);

    QJsonArray Texts() const;
    // The option standing for the value; empty when none does.
    QString TextOf(int value) const;
    // An option, exactly as offered, first; then the fallback. A refusal names the options.
    int Read(const std::string& word) const;

private:
    std::vector<Option> options_;
    Fallback fallback_;
};

// The inputs' options from their names, in input order: the trimmed name where it is plain;
// "Input n" for an empty one; "NAME (In n)" for one that is a bare number, reads as "none" or
// would meet another input's option. An option names the input it stands for, so commands
// may also give the input's number.
QStringList InputOptionTexts(const QStringList& names);
SelectOptions InputOptions(const QJsonObject& state);

// The audio modes in words ("Off", "HDMI", "Analog"); commands also take off, h and a.
SelectOptions AudioModeOptions();
