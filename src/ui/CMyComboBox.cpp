#include "CMyComboBox.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QScreen>

namespace {
constexpr int kMinTextWidth = 10;
constexpr int kListMargin = 10;
} // namespace

void CMyComboBox::FitDropDownWidth()
{
    const QFontMetrics metrics(font());
    int width = kMinTextWidth;
    for (int i = 0; i < count(); ++i)
        width = std::max(width, metrics.horizontalAdvance(itemText(i)));
    fittedWidth_ = width + kListMargin;
}

void CMyComboBox::showPopup()
{
    FitDropDownWidth();
    QComboBox::showPopup();
    // The opened list is a window of its own; widen it after the base class has placed it.
    QWidget* popup = view()->window();
    if (popup == window() || fittedWidth_ <= popup->width())
        return;
    QRect area = popup->geometry();
    area.setWidth(fittedWidth_);
    // Keep it on the screen: a list that would run off the right edge opens further left.
    if (const QScreen* screen = popup->screen()) {
        const QRect available = screen->availableGeometry();
        if (area.right() > available.right())
            area.moveRight(std::max(available.right(), available.left() + area.width() - 1));
    }
    popup->setGeometry(area);
}
