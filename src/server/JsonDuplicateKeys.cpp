#include "JsonDuplicateKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <set>
#include <vector>

namespace {

struct Level {
    bool object = false;
    bool keyNext = false; // in an object, the next string is a key
    std::set<QString> keys;
};

// The string starting at the quote at start, decoded; end is set past its closing quote.
QString readString(QByteArrayView text, qsizetype start, qsizetype& end)
{
    qsizetype i = start + 1;
    while (i < text.size() && text[i] != '"')
        i += text[i] == '\\' ? 2 : 1;
    end = i + 1;
    const QByteArray quoted = "[" + text.sliced(start, end - start).toByteArray() + "]";
    return QJsonDocument::fromJson(quoted).array().at(0).toString();
}

} // namespace

std::optional<QString> FirstDuplicateKey(QByteArrayView text)
{
    std::vector<Level> levels;
    for (qsizetype i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '"') {
            qsizetype end = i;
            const QString value = readString(text, i, end);
            if (!levels.empty() && levels.back().keyNext) {
                levels.back().keyNext = false;
                if (!levels.back().keys.insert(value).second)
                    return value;
            }
            i = end;
            continue;
        }
        if (c == '{' || c == '[')
            levels.push_back({c == '{', c == '{', {}});
        else if ((c == '}' || c == ']') && !levels.empty())
            levels.pop_back();
        else if (c == ',' && !levels.empty() && levels.back().object)
            levels.back().keyNext = true;
        ++i;
    }
    return std::nullopt;
}
