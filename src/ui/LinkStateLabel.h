#pragma once
// The state of the link in a few words, so the operator can tell at a glance whether the
// panel is connected, has lost the port and is waiting for it, or has come back by itself.
// Times carry the date: a panel stays open for weeks.
//
// UI thread only.
#include <QDateTime>
#include <QLabel>

class LinkStateLabel : public QLabel {
    Q_OBJECT
public:
    enum class State { Closed, Connected, Waiting, Reconnected };

    explicit LinkStateLabel(QWidget* parent = nullptr);

    // at: when the port was lost (Waiting) or came back (Reconnected); ignored otherwise.
    void ShowState(State state, const QDateTime& at = QDateTime::currentDateTime());
    State state() const { return state_; }

private:
    State state_ = State::Closed;
};
