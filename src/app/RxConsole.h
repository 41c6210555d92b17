#pragma once
// The Rx box as the operator's console. It keeps the receive log (ConsoleLog), shows each new
// entry in the box as the toggles ask, and puts the toggles and tools in the box's context
// menu: the page keeps its size and captions, and nothing new shows until the operator turns
// it on. The toggles are remembered in the settings.
//
// Every command that leaves the port is logged where it left (the port's dataWritten); the
// Link page adds the received chunks and the lines typed into the Tx box.
//
// UI thread only.
#include "ConsoleLog.h"
#include "ConsoleOptions.h"

#include <QObject>

class QAction;
class QActionGroup;
class RxLogBox;

class RxConsole : public QObject {
    Q_OBJECT
public:
    explicit RxConsole(RxLogBox* box, QObject* parent = nullptr);

    const QString& text() const { return log_.text(); }
    bool IsFull() const { return log_.IsFull(); }
    void AddReceived(const QByteArray& bytes, const QString& text);
    // goesOut: the text is being sent, and the port will log it as a sent command too.
    void AddTyped(const QString& text, bool goesOut);
    void AddSent(const QByteArray& bytes);
    // Empties the log and the box, status lines included.
    void Clear();
    // The log becomes text, shown whole.
    void Replace(const QString& text);

    const ConsoleOptions& options() const { return options_; }
    void SetOptions(const ConsoleOptions& options);
    bool autoscrollPaused() const;

    // Selects the next occurrence after the caret, case ignored, wrapping round to the start;
    // false when the log holds none.
    bool FindNext(const QString& text);
    bool SaveLog(const QString& path, QString* error) const;
    bool SaveRaw(const QString& path, QString* error) const;

    // The texts of the entries this console adds to the context menu, in order.
    QStringList menuTexts() const;
    QAction* action(const QString& text) const;

private:
    void buildActions();
    void showOptions();
    void readOptionsFromMenu();
    void askAndFind();
    void findAgain();
    void askAndSave(bool raw);

    RxLogBox* box_;
    ConsoleLog log_;
    ConsoleOptions options_;
    QString findText_;
    QActionGroup* timestamps_ = nullptr;
    QList<QAction*> actions_;
};
