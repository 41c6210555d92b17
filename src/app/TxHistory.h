#pragma once
// The lines sent from the Tx box, oldest first, at most kMaxLines, kept in the settings so that
// they outlive the run. Older() and Newer() step through them as Up and Down do in a shell:
// stepping back from the text being typed keeps it, and stepping past the newest line returns
// it.
#include <QStringList>
#include <optional>

class TxHistory {
public:
    static constexpr qsizetype kMaxLines = 50;

    TxHistory(); // reads the settings

    // A sent text; an empty one or a repeat of the newest is not kept twice. Written to the
    // settings at once, so a crash does not lose it.
    void Add(const QString& text);
    // The line before the one shown (current is the box's text); nothing at the oldest.
    std::optional<QString> Older(const QString& current);
    // The line after the one shown, or the text that was being typed; nothing when not
    // stepping through the history.
    std::optional<QString> Newer();

    const QStringList& lines() const { return lines_; }

private:
    QStringList lines_;
    qsizetype position_ = 0; // lines_.size() while not stepping through the history
    QString draft_;
};
