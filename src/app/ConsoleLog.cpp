#include "ConsoleLog.h"

#include "Cp936.h"
#include "RxLogBox.h"

#include <QDateTime>

#include <algorithm>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kSentMark = QStringLiteral("[Tx] ");
constexpr int kHexBytesPerLine = 16;

QString stamp(qint64 msecs, ConsoleOptions::Timestamps timestamps, bool withDate,
              qint64 previousChunk)
{
    switch (timestamps) {
    case ConsoleOptions::Timestamps::TimeOfDay: {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(msecs);
        return QLatin1Char('[') +
               time.toString(withDate ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                      : QStringLiteral("HH:mm:ss.zzz")) +
               QStringLiteral("] ");
    }
    case ConsoleOptions::Timestamps::SincePreviousChunk: {
        const qint64 since = previousChunk < 0 ? 0 : std::max<qint64>(msecs - previousChunk, 0);
        return QStringLiteral("[+%1.%2 s] ")
            .arg(since / 1000)
            .arg(since % 1000, 3, 10, QLatin1Char('0'));
    }
    case ConsoleOptions::Timestamps::None:
        break;
    }
    return {};
}

// "  0010  6D 61 73 74 65 72 3E 3E  02 00 00 61 00 43 00 00" and a line end, 16 bytes a line.
QString hexLines(const QByteArray& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString lines;
    lines.reserve(bytes.size() * 3 + (bytes.size() / kHexBytesPerLine + 1) * 10);
    for (qsizetype offset = 0; offset < bytes.size(); offset += kHexBytesPerLine) {
        lines += QStringLiteral("  %1 ").arg(offset, 4, 16, QLatin1Char('0')).toUpper();
        const qsizetype end = std::min(offset + kHexBytesPerLine, bytes.size());
        for (qsizetype i = offset; i < end; ++i) {
            const auto byte = static_cast<uint8_t>(bytes.at(i));
            if (i - offset == kHexBytesPerLine / 2)
                lines += QLatin1Char(' ');
            lines += QLatin1Char(' ');
            lines += QLatin1Char(kDigits[byte >> 4]);
            lines += QLatin1Char(kDigits[byte & 0x0F]);
        }
        lines += kLineEnd;
    }
    return lines;
}

// A command as one line: line breaks and other control bytes written out, so a command that
// holds them still reads as the one command it was.
QString commandLine(const QByteArray& bytes)
{
    const QString text = DecodeCp936(std::string_view(bytes.constData(), size_t(bytes.size())));
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\r')
            line += QStringLiteral("\\r");
        else if (c == u'\n')
            line += QStringLiteral("\\n");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            line += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

} // namespace

QString ConsoleLog::AddReceived(qint64 msecs, const QByteArray& bytes, const QString& text,
                                const ConsoleOptions& options)
{
    entries_.push_back({Kind::Received, msecs, text_.size(), text.size(), bytes});
    text_ += text;
    heldBytes_ += bytes.size() + qsizetype(sizeof(Entry));
    const QString shown = render(entries_.back(), options, false, lastChunk_);
    lastChunk_ = msecs;
    shown_ += shown.size();
    keepBytesBounded();
    return shown;
}

QString ConsoleLog::AddTyped(const QString& text, bool goesOut, const ConsoleOptions& options)
{
    entries_.push_back({Kind::Typed, -1, text_.size(), text.size(), {}, goesOut});
    text_ += text;
    const QString shown = render(entries_.back(), options, false, lastChunk_);
    shown_ += shown.size();
    return shown;
}

QString ConsoleLog::AddSent(qint64 msecs, const QByteArray& bytes, const ConsoleOptions& options)
{
    entries_.push_back({Kind::Sent, msecs, text_.size(), 0, bytes});
    heldBytes_ += bytes.size() + qsizetype(sizeof(Entry));
    const QString shown = render(entries_.back(), options, false, lastChunk_);
    shown_ += shown.size();
    keepBytesBounded();
    return shown;
}

void ConsoleLog::Clear()
{
    text_.clear();
    entries_.clear();
    shown_ = 0;
    heldBytes_ = 0;
    trimmed_ = 0;
    droppedCommands_ = 0;
    lastChunk_ = -1;
}

void ConsoleLog::keepBytesBounded()
{
    while (heldBytes_ > kHeldBytesLimit && trimmed_ < entries_.size()) {
        Entry& oldest = entries_[trimmed_++];
        heldBytes_ -= oldest.bytes.size();
        oldest.bytes = QByteArray();
        droppedCommands_ += oldest.kind == Kind::Sent ? 1 : 0;
    }
    // A sent command without its bytes is nothing; those go in batches, so that commands
    // going out for days to a silent matrix do not pile up.
    if (droppedCommands_ < kCommandsDroppedAtOnce)
        return;
    const auto trimmedEnd = entries_.begin() + qsizetype(trimmed_);
    const auto kept = std::remove_if(entries_.begin(), trimmedEnd,
                                     [](const Entry& e) { return e.kind == Kind::Sent; });
    heldBytes_ -= (trimmedEnd - kept) * qsizetype(sizeof(Entry));
    trimmed_ -= size_t(trimmedEnd - kept);
    entries_.erase(kept, trimmedEnd);
    droppedCommands_ = 0;
}

void ConsoleLog::Replace(const QString& text)
{
    Clear();
    AddTyped(text, false, ConsoleOptions{});
}

QByteArray ConsoleLog::ReceivedBytes() const
{
    QByteArray bytes;
    for (size_t i = trimmed_; i < entries_.size(); ++i) {
        if (entries_[i].kind == Kind::Received)
            bytes += entries_[i].bytes;
    }
    return bytes;
}

QString ConsoleLog::SavedText(bool hex) const
{
    ConsoleOptions options;
    options.timestamps = ConsoleOptions::Timestamps::TimeOfDay;
    options.sentCommands = true;
    QString saved;
    for (size_t i = 0; i < entries_.size(); ++i) {
        // Entries that gave up their bytes keep their text; their hex lines and the sent
        // commands among them are gone.
        const bool whole = i >= trimmed_;
        if (!whole && entries_[i].kind == Kind::Sent)
            continue;
        options.hex = hex && whole;
        saved += render(entries_[i], options, true, -1);
    }
    return RxLogBox::DisplayText(saved);
}

QString ConsoleLog::render(const Entry& entry, const ConsoleOptions& options, bool withDate,
                           qint64 previousChunk) const
{
    const QStringView text = QStringView(text_).mid(entry.start, entry.length);
    switch (entry.kind) {
    case Kind::Typed:
        return options.sentCommands && entry.goesOut ? QString() : text.toString();
    case Kind::Sent:
        if (!options.sentCommands)
            return {};
        return stamp(entry.msecs, options.timestamps, withDate, previousChunk) + kSentMark +
               commandLine(entry.bytes) + kLineEnd;
    case Kind::Received:
        break;
    }
    QString shown = stamp(entry.msecs, options.timestamps, withDate, previousChunk);
    if (!options.hex) {
        shown += text;
        return shown;
    }
    // The hex lines go under the chunk's text, before the blank line that closes it.
    const bool closed = text.endsWith(kLineEnd);
    shown += closed ? text.chopped(kLineEnd.size()) : text;
    shown += hexLines(entry.bytes);
    return closed ? shown + kLineEnd : shown;
}
