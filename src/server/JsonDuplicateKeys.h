#pragma once
// The first key that one object of a JSON text names twice. A parser keeps the last of them;
// what a request means must not depend on which one a reader keeps, so such a text is refused.
#include <QByteArrayView>
#include <QString>
#include <optional>

// text must already have parsed as JSON.
std::optional<QString> FirstDuplicateKey(QByteArrayView text);
