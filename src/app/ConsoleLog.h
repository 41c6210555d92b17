#pragma once
// The Link page's receive log and what the console keeps beside it.
//
// text() is the log as the Rx box shows it by default: each decoded chunk and each line typed
// into the Tx box, with "\r\n" line ends. Kept beside it for the console's toggles and tools:
// when each chunk was read, its raw bytes, and every command that left the port. Each Add
// returns what the box shows for the entry under the options in force, so a toggle applies to
// what arrives while it is on.
//
// The log is full once the box holds kLimit characters for it; with every toggle off that is
// exactly when the text reaches kLimit characters. The bytes kept beside the text are bounded
// on their own (kHeldBytesLimit): past it the oldest entries give up theirs, and their text
// stays. So a stream of damaged frames, many bytes for little text, never empties the log
// sooner than it always has.
#include "ConsoleOptions.h"

#include <QByteArray>
#include <QString>
#include <vector>

class ConsoleLog {
public:
    static constexpr qsizetype kLimit = 10'000'000;
    static constexpr qsizetype kHeldBytesLimit = 16 * 1024 * 1024;

    // msecs: the time since the epoch. text: the chunk's decoded text.
    QString AddReceived(qint64 msecs, const QByteArray& bytes, const QString& text,
                        const ConsoleOptions& options);
    // goesOut: the text is on its way to the port, where it is logged again as sent. With
    // sent commands shown, the box then shows it once, as the sent command.
    QString AddTyped(const QString& text, bool goesOut, const ConsoleOptions& options);
    // Empty while sent commands are not shown; kept for the saved log all the same.
    QString AddSent(qint64 msecs, const QByteArray& bytes, const ConsoleOptions& options);
    void Clear();
    // The whole log becomes text, without times or bytes.
    void Replace(const QString& text);

    const QString& text() const { return text_; }
    bool IsFull() const { return shown_ >= kLimit; }
    // The bytes received, in order, of every chunk whose bytes are still kept.
    QByteArray ReceivedBytes() const;
    // The log for a file: every chunk and sent command with its date and time, the chunks' hex
    // lines when asked for, "\n" line ends.
    QString SavedText(bool hex) const;

private:
    enum class Kind { Received, Typed, Sent };
    struct Entry {
        Kind kind;
        qint64 msecs;
        qsizetype start; // of the entry's text in text_
        qsizetype length;
        QByteArray bytes;
        bool goesOut = false; // typed text that the port also logs as a sent command
    };

    // previousChunk: when the chunk before was read, -1 for none.
    QString render(const Entry& entry, const ConsoleOptions& options, bool withDate,
                   qint64 previousChunk) const;
    void keepBytesBounded();

    static constexpr size_t kCommandsDroppedAtOnce = 4096;

    QString text_;
    std::vector<Entry> entries_;
    qsizetype shown_ = 0;        // characters the box holds for the log
    qsizetype heldBytes_ = 0;    // received and sent bytes kept, and the entries holding them
    size_t trimmed_ = 0;         // entries before this one have given up their bytes
    size_t droppedCommands_ = 0; // sent commands among them not yet erased
    qint64 lastChunk_ = -1;
};
