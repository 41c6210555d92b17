#include "LinkStateLabel.h"

namespace {

QString stamp(const QDateTime& at) { return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

QString textFor(LinkStateLabel::State state, const QDateTime& at)
{
    using State = LinkStateLabel::State;
    switch (state) {
    case State::Connected:
        return QStringLiteral("Connected");
    case State::Waiting:
        return QStringLiteral("Lost at %1, waiting for it to return").arg(stamp(at));
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
    ShowState(State::Closed);
}

void LinkStateLabel::ShowState(State state, const QDateTime& at)
{
    state_ = state;
    setText(textFor(state, at));
}
