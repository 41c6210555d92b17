#include "EnterEscapeFilter.h"

#include <QKeyEvent>

bool EnterEscapeFilter::IsSwallowedKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

bool EnterEscapeFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    if (!IsSwallowedKey(static_cast<QKeyEvent*>(event)->key()))
        return QObject::eventFilter(watched, event);
    // An accepted override keeps shortcuts bound to these keys from firing; the key-down that
    // follows is then dropped here.
    event->accept();
    return true;
}
