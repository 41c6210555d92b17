#pragma once
#include <QLineEdit>

// Writes the text only when it differs: rewriting an edit throws its caret to the end while
// the operator may be typing in the middle of it.
inline void SetTextIfChanged(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}
