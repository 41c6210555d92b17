#include "StateChanges.h"

#include <QJsonArray>
#include <utility>

namespace {

QJsonObject entry(const QJsonObject& state, const char* list, int index)
{
    return state[list].toArray().at(index).toObject();
}

QString quoted(const QJsonValue& value) { return "'" + value.toString() + "'"; }

QString text(const QJsonValue& value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    if (value.isDouble())
        return QString::number(value.toInteger());
    return value.toString();
}

// A value known on both sides that differs.
bool changed(const QJsonValue& before, const QJsonValue& after)
{
    return !before.isNull() && !after.isNull() && !before.isUndefined() && before != after;
}

QString routeLine(const QJsonObject& state, int output)
{
    const int input = entry(state, "outputs", output - 1)["input"].toInt();
    const QJsonValue name = entry(state, "inputs", input - 1)["name"];
    QString line = QStringLiteral("output %1 ← input %2").arg(output).arg(input);
    if (name.isString() && !name.toString().isEmpty())
        line += " (" + name.toString() + ")";
    return line;
}

QString edidText(const QJsonObject& edid)
{
    QString line = QStringLiteral("%1 %2").arg(edid["mode"].toString(), text(edid["source"]));
    if (edid["name"].isString() && !edid["name"].toString().isEmpty())
        line += " (" + edid["name"].toString() + ")";
    return line;
}

void nameChange(QStringList& lines, const QString& what, const QJsonValue& before,
                const QJsonValue& after)
{
    if (changed(before, after))
        lines << QStringLiteral("%1 is named %2 (was %3)").arg(what, quoted(after), quoted(before));
}

void inputChanges(QStringList& lines, const QJsonObject& before, const QJsonObject& after)
{
    for (int i = 0; i < 4; ++i) {
        const QJsonObject was = entry(before, "inputs", i);
        const QJsonObject now = entry(after, "inputs", i);
        const QString input = QStringLiteral("input %1").arg(i + 1);
        nameChange(lines, input, was["name"], now["name"]);
        if (changed(was["audio"], now["audio"]))
            lines << QStringLiteral("%1 audio %2 (was %3)")
                         .arg(input, text(now["audio"]), text(was["audio"]));
        const QJsonObject edidWas = was["edid"].toObject();
        const QJsonObject edidNow = now["edid"].toObject();
        if (!edidWas["mode"].isNull() && edidWas != edidNow && !edidNow["mode"].isNull())
            lines << QStringLiteral("%1 EDID %2, was %3")
                         .arg(input, edidText(edidNow), edidText(edidWas));
    }
}

void outputChanges(QStringList& lines, const QJsonObject& before, const QJsonObject& after)
{
    for (int o = 0; o < 4; ++o) {
        const QJsonObject was = entry(before, "outputs", o);
        const QJsonObject now = entry(after, "outputs", o);
        const QString output = QStringLiteral("output %1").arg(o + 1);
        if (changed(was["input"], now["input"]))
            lines << routeLine(after, o + 1);
        nameChange(lines, "HDMI " + output, was["hdmiName"], now["hdmiName"]);
        nameChange(lines, "HDBT " + output, was["hdbtName"], now["hdbtName"]);
        for (const auto& [path, kind] : {std::pair{"iis", "I2S"}, std::pair{"spdif", "S/PDIF"}}) {
            const QJsonValue a = was["audio"].toObject()[QLatin1String(path)];
            const QJsonValue b = now["audio"].toObject()[QLatin1String(path)];
            if (changed(a, b))
                lines << QStringLiteral("%1 %2 audio %3").arg(output, QLatin1String(kind), text(b));
        }
    }
}

void listChanges(QStringList& lines, const QJsonArray& before, const QJsonArray& after,
                 const QString& what)
{
    for (qsizetype k = 0; k < after.size(); ++k)
        nameChange(lines, what.arg(k + 1), before.at(k), after.at(k));
}

void otherChanges(QStringList& lines, const QJsonObject& before, const QJsonObject& after)
{
    for (int s = 0; s < 8; ++s)
        nameChange(lines, QStringLiteral("scene %1").arg(s + 1), entry(before, "scenes", s)["name"],
                   entry(after, "scenes", s)["name"]);
    const QJsonObject edidWas = before["edidNames"].toObject();
    const QJsonObject edidNow = after["edidNames"].toObject();
    listChanges(lines, edidWas["builtIn"].toArray(), edidNow["builtIn"].toArray(),
                "built-in EDID %1");
    listChanges(lines, edidWas["user"].toArray(), edidNow["user"].toArray(), "user EDID %1");
    listChanges(lines, edidWas["hdmiSinks"].toArray(), edidNow["hdmiSinks"].toArray(),
                "the sink EDID on HDMI output %1");
    listChanges(lines, edidWas["hdbtSinks"].toArray(), edidNow["hdbtSinks"].toArray(),
                "the sink EDID on HDBT output %1");
    const QJsonObject netWas = before["network"].toObject();
    const QJsonObject netNow = after["network"].toObject();
    for (const QString& key : netNow.keys()) {
        if (changed(netWas[key], netNow[key]))
            lines << QStringLiteral("network %1 %2 (was %3)")
                         .arg(key, text(netNow[key]), text(netWas[key]));
    }
    const QJsonObject devWas = before["device"].toObject();
    const QJsonObject devNow = after["device"].toObject();
    for (const QString& key : devNow.keys()) {
        if (changed(devWas[key], devNow[key]))
            lines << QStringLiteral("device %1 %2 (was %3)")
                         .arg(key, text(devNow[key]), text(devWas[key]));
    }
}

} // namespace

QStringList StateChangeLines(const QJsonObject& before, const QJsonObject& after)
{
    QStringList lines;
    outputChanges(lines, before, after);
    inputChanges(lines, before, after);
    otherChanges(lines, before, after);
    return lines;
}

QStringList InitialStateLines(const QJsonObject& state)
{
    QStringList lines;
    for (int o = 1; o <= 4; ++o)
        lines << routeLine(state, o);
    return lines;
}
