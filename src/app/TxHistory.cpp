#include "TxHistory.h"

#include <QSettings>

namespace {
const QString kHistoryKey = QStringLiteral("console/txHistory");
}

TxHistory::TxHistory()
    : lines_(QSettings().value(kHistoryKey).toStringList().mid(0, kMaxLines)),
      position_(lines_.size())
{
}

void TxHistory::Add(const QString& text)
{
    if (!text.isEmpty() && (lines_.isEmpty() || lines_.back() != text)) {
        lines_.append(text);
        if (lines_.size() > kMaxLines)
            lines_.remove(0, lines_.size() - kMaxLines);
        QSettings().setValue(kHistoryKey, lines_);
    }
    position_ = lines_.size();
    draft_.clear();
}

std::optional<QString> TxHistory::Older(const QString& current)
{
    if (position_ == 0)
        return std::nullopt;
    if (position_ == lines_.size())
        draft_ = current;
    return lines_.at(--position_);
}

std::optional<QString> TxHistory::Newer()
{
    if (position_ == lines_.size())
        return std::nullopt;
    ++position_;
    return position_ == lines_.size() ? draft_ : lines_.at(position_);
}
