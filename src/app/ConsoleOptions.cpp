#include "ConsoleOptions.h"

#include <QSettings>

namespace {

const QString kTimestampsKey = QStringLiteral("console/timestamps");
const QString kSentKey = QStringLiteral("console/sentCommands");
const QString kHexKey = QStringLiteral("console/hex");

QString timestampsName(ConsoleOptions::Timestamps timestamps)
{
    switch (timestamps) {
    case ConsoleOptions::Timestamps::TimeOfDay:
        return QStringLiteral("timeOfDay");
    case ConsoleOptions::Timestamps::SincePreviousChunk:
        return QStringLiteral("sincePreviousChunk");
    case ConsoleOptions::Timestamps::None:
        break;
    }
    return QStringLiteral("none");
}

} // namespace

ConsoleOptions ConsoleOptions::Load()
{
    const QSettings settings;
    ConsoleOptions options;
    const QString timestamps = settings.value(kTimestampsKey).toString();
    for (Timestamps t : {Timestamps::TimeOfDay, Timestamps::SincePreviousChunk}) {
        if (timestamps == timestampsName(t))
            options.timestamps = t;
    }
    options.sentCommands = settings.value(kSentKey, false).toBool();
    options.hex = settings.value(kHexKey, false).toBool();
    return options;
}

void ConsoleOptions::Save() const
{
    QSettings settings;
    settings.setValue(kTimestampsKey, timestampsName(timestamps));
    settings.setValue(kSentKey, sentCommands);
    settings.setValue(kHexKey, hex);
}
