#pragma once
// Installed on the application: swallows every key-down of Enter (either key) and Escape
// before any window sees it, so neither key ever closes a dialog or presses a default button
// anywhere in the program. Key-ups pass (the Tx box reacts to the key-up of Return).
#include <QObject>

class EnterEscapeFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    static bool IsSwallowedKey(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
