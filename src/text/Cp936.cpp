#include "Cp936.h"


// EncodeCp936 and DecodeCp936 are the system's: Cp936_unix.cpp, Cp936_win.cpp.

NameCheck CheckName(const QString& name)
{
    for (const QChar c : name) {
        if (c == u'#' || c.category() == QChar::Other_Control)
            return {std::nullopt, "ERROR:Name must not contain # or control characters"};
    }
    auto bytes = EncodeCp936(name);
    if (!bytes)
        return {std::nullopt, "ERROR:Name has characters the matrix cannot store"};
    if (bytes->size() > kNameWidth)
        return {std::nullopt, "ERROR:Name is longer than 16 bytes"};
    return {std::move(bytes), {}};
}
