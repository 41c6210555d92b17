#include "RxLogBox.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

RxLogBox::RxLogBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false); // an undo stack would keep a copy of everything ever shown
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

QString RxLogBox::DisplayText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A carriage return only ends a line together with the line feed after it; one on
        // its own (a line the matrix already ended with "\r\n" arrives as "\r\r\n") shows as
        // nothing, as in the platform's edit control.
        if (c != u'\r')
            shown.append(c);
    }
    return shown;
}

QString RxLogBox::documentText(QString shown)
{
    // The last line end stays a paragraph end, so the next update starts a block of its own.
    const qsizetype last = shown.lastIndexOf(QLatin1Char('\n'));
    int lines = 0;
    for (qsizetype i = 0; i < last; ++i) {
        if (shown.at(i) == u'\n' && ++lines % kLinesPerBlock != 0)
            shown[i] = QChar::LineSeparator;
    }
    return shown;
}

void RxLogBox::AppendLog(const QString& text)
{
    removeStatus();
    appendAtEnd(DisplayText(text));
    ScrollToEnd();
}

void RxLogBox::InsertLog(const QString& text)
{
    QTextCursor cursor(document());
    cursor.setPosition(document()->characterCount() - 1 - statusLength_);
    cursor.insertText(documentText(DisplayText(text)));
    ScrollToEnd();
}

void RxLogBox::AppendStatus(const QString& text)
{
    statusLength_ += appendAtEnd(DisplayText(text));
    ScrollToEnd();
}

void RxLogBox::ShowStatusOnly(const QString& text)
{
    const QString shown = DisplayText(text);
    setPlainText(documentText(shown));
    statusLength_ = static_cast<int>(shown.size());
    ScrollToEnd();
}

void RxLogBox::ResetToLog(const QString& log)
{
    setPlainText(documentText(DisplayText(log)));
    statusLength_ = 0;
    ScrollToEnd();
}

void RxLogBox::SetAutoscrollPaused(bool paused)
{
    paused_ = paused;
    ScrollToEnd();
}

void RxLogBox::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    if (!menuActions_.isEmpty()) {
        menu->addSeparator();
        menu->addActions(menuActions_);
    }
    menu->exec(event->globalPos());
}

void RxLogBox::ScrollToEnd()
{
    if (paused_)
        return;
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void RxLogBox::removeStatus()
{
    if (statusLength_ == 0)
        return;
    // Positions, not cursor moves: a move by characters would step over whole graphemes.
    const int end = document()->characterCount() - 1;
    QTextCursor cursor(document());
    cursor.setPosition(end - statusLength_);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    statusLength_ = 0;
}

int RxLogBox::appendAtEnd(const QString& text)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(documentText(text));
    return static_cast<int>(text.size());
}
