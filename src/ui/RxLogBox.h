#pragma once
// The Rx box of the Link page: shows the receive log followed by the status lines written
// since the log last grew. Status lines vanish when the log next grows. Every update costs in
// proportion to the text it adds or removes, never to the whole log, so a log of millions of
// characters does not freeze the window at each chunk.
//
// Texts are given with "\r\n" line ends, as the log keeps them; the box shows lines.
//
// The lines of one update share a block of the document (up to kLinesPerBlock, joined by line
// separators): a block for each line would cost a few hundred bytes of the document's
// bookkeeping for every line of a log of millions of characters.
#include <QPlainTextEdit>

class RxLogBox : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kLinesPerBlock = 64;

    explicit RxLogBox(QWidget* parent = nullptr);

    // Removes the status lines, appends text to the log view, shows the last line.
    void AppendLog(const QString& text);
    // Adds text to the end of the log view, in front of the status lines, which stay.
    void InsertLog(const QString& text);
    // Adds a status line after the log; it stays until the log next grows.
    void AppendStatus(const QString& text);
    // Replaces everything: the log view empties and text becomes its status lines.
    void ShowStatusOnly(const QString& text);
    // Shows the whole log again, status lines gone; costs in proportion to the log.
    void ResetToLog(const QString& log);
    // Characters (as shown) of status lines standing after the log.
    int statusLength() const { return statusLength_; }

    // Shows the last line, unless the operator has paused the scrolling to read.
    void ScrollToEnd();
    bool autoscrollPaused() const { return paused_; }
    void SetAutoscrollPaused(bool paused);

    // Entries the context menu offers after the edit's own.
    void SetMenuActions(const QList<QAction*>& actions) { menuActions_ = actions; }

    // The log's text as the box shows it: "\r\n" and a lone "\r" before it become one line end.
    static QString DisplayText(const QString& text);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    static QString documentText(QString shown);
    void removeStatus();
    int appendAtEnd(const QString& text);

    int statusLength_ = 0;
    bool paused_ = false;
    QList<QAction*> menuActions_;
};
