#include "LinkStateLabel.h"

#include <algorithm>

namespace {

QString stamp(const QDateTime& at) { return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

QString textFor(LinkStateLabel::State state, const QDateTime& at)
{
    using State = LinkStateLabel::State;
    switch (state) {
    case State::Connected:
        return QStringLiteral("Connected");
    case State::Waiting:
        return QStringLiteral("Lost at %1, waiting").arg(stamp(at));
    case State::Reconnected:
        return QStringLiteral("Reconnected at %1").arg(stamp(at));
    case State::Closed:
        break;
    }
    return QStringLiteral("Not connected");
}

} // namespace

LinkStateLabel::LinkStateLabel(QWidget* parent) : QLabel(parent)
{
    setAccessibleName(QStringLiteral("Link state"));
    // As wide as its longest text, so that the controls beside it stay put as it changes.
    const QDateTime widest(QDate(2000, 12, 28), QTime(20, 58, 58));
    int width = 0;
    for (State state : {State::Closed, State::Connected, State::Waiting, State::Reconnected})
        width = std::max(width, fontMetrics().horizontalAdvance(textFor(state, widest)));
    setMinimumWidth(width);
    ShowState(State::Closed);
}

void LinkStateLabel::ShowState(State state, const QDateTime& at)
{
    state_ = state;
    setText(textFor(state, at));
}
