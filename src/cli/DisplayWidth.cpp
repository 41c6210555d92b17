#include "DisplayWidth.h"

#include <QList>

#include <algorithm>
#include <iterator>

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// The wide and full-width blocks of Unicode's East Asian Width property, merged into ranges.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

int columns(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
        category == QChar::Other_Format || c == 0x200B)
        return 0;
    const auto wide = std::find_if(std::begin(kWide), std::end(kWide),
                                   [c](const Range& r) { return c >= r.first && c <= r.last; });
    return wide == std::end(kWide) ? 1 : 2;
}

} // namespace

int DisplayWidth(const QString& text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += columns(c);
    return width;
}

QString PadToWidth(const QString& text, int width)
{
    return text + QString(std::max(0, width - DisplayWidth(text)), u' ');
}
