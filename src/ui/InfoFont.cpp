#include "InfoFont.h"

#include <QFontDatabase>
#include <QStringList>

QFont InfoBoxFont()
{
    static const QString family = [] {
        const QStringList preferred = {QStringLiteral("新宋体"), QStringLiteral("NSimSun"),
                                       QStringLiteral("Noto Sans Mono CJK SC"),
                                       QStringLiteral("Noto Sans CJK SC"),
                                       QStringLiteral("WenQuanYi Zen Hei Mono")};
        const QStringList present = QFontDatabase::families();
        for (const QString& name : preferred) {
            if (present.contains(name))
                return name;
        }
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }();
    QFont font(family);
    font.setPointSize(15);
    return font;
}
