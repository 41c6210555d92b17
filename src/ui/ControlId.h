#pragma once
// Controls keep the numeric identifiers the pages are specified by (output n is 1035 + n, and
// so on), so handlers can use the arithmetic and tests can find a control by its number.
#include <QPushButton>
#include <QWidget>

inline constexpr const char* kControlIdProperty = "controlId";

inline void SetControlId(QWidget* widget, int id)
{
    widget->setProperty(kControlIdProperty, id);
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
}

inline int ControlIdOf(const QObject* widget)
{
    const QVariant id = widget->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : -1;
}

template <typename T = QWidget> T* FindControl(const QWidget* root, int id)
{
    return root->findChild<T*>(QStringLiteral("ctl%1").arg(id));
}

// A push button carrying its control number. Never a default button: Enter must press nothing
// in any page or dialog.
inline QPushButton* NewButton(QWidget* parent, int id, const QString& caption,
                              bool checkable = false)
{
    auto* button = new QPushButton(caption, parent);
    SetControlId(button, id);
    button->setCheckable(checkable);
    button->setAutoDefault(false);
    return button;
}
