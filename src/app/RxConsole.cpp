#include "RxConsole.h"

#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "RxLogBox.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QSaveFile>

namespace {

const QString kNoTimestamps = QStringLiteral("No Timestamps");
const QString kTimeOfDay = QStringLiteral("Time of Day");
const QString kSincePrevious = QStringLiteral("Time Since Previous Chunk");
const QString kShowSent = QStringLiteral("Show Sent Commands");
const QString kShowHex = QStringLiteral("Show Hex");
const QString kPause = QStringLiteral("Pause Autoscroll");
const QString kFind = QStringLiteral("Find...");
const QString kFindNext = QStringLiteral("Find Next");
const QString kSaveLog = QStringLiteral("Save Log As...");
const QString kSaveRaw = QStringLiteral("Save Raw As...");

qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

bool writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode,
               QString* error)
{
    // Written aside and renamed into place: a failed save leaves an older file whole.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | mode) && file.write(bytes) == bytes.size() &&
        file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace

RxConsole::RxConsole(RxLogBox* box, QObject* parent)
    : QObject(parent), box_(box), options_(ConsoleOptions::Load())
{
    buildActions();
    showOptions();
    connect(&GlobalSerialPort(), &MySerialPortComm::dataWritten, this, &RxConsole::AddSent);
}

void RxConsole::buildActions()
{
    auto* menu = new QMenu(QStringLiteral("Timestamps"), box_);
    timestamps_ = new QActionGroup(this);
    for (const QString& text : {kNoTimestamps, kTimeOfDay, kSincePrevious}) {
        QAction* choice = menu->addAction(text);
        choice->setCheckable(true);
        timestamps_->addAction(choice);
    }
    actions_ << menu->menuAction();
    const auto add = [this](const QString& text, bool checkable, const QKeySequence& key = {}) {
        auto* action = new QAction(text, this);
        action->setCheckable(checkable);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        box_->addAction(action);
        actions_ << action;
        return action;
    };
    QAction* sent = add(kShowSent, true);
    QAction* hex = add(kShowHex, true);
    actions_ << new QAction(this);
    actions_.back()->setSeparator(true);
    QAction* pause = add(kPause, true);
    QAction* find = add(kFind, false, QKeySequence::Find);
    QAction* findNext = add(kFindNext, false, QKeySequence::FindNext);
    QAction* saveLog = add(kSaveLog, false);
    QAction* saveRaw = add(kSaveRaw, false);

    connect(timestamps_, &QActionGroup::triggered, this, &RxConsole::readOptionsFromMenu);
    connect(sent, &QAction::triggered, this, &RxConsole::readOptionsFromMenu);
    connect(hex, &QAction::triggered, this, &RxConsole::readOptionsFromMenu);
    connect(pause, &QAction::toggled, box_, &RxLogBox::SetAutoscrollPaused);
    connect(find, &QAction::triggered, this, &RxConsole::askAndFind);
    connect(findNext, &QAction::triggered, this, &RxConsole::findAgain);
    connect(saveLog, &QAction::triggered, this, [this] { askAndSave(false); });
    connect(saveRaw, &QAction::triggered, this, [this] { askAndSave(true); });
    box_->SetMenuActions(actions_);
}

QAction* RxConsole::action(const QString& text) const
{
    for (QAction* action : actions_) {
        if (action->text() == text)
            return action;
    }
    for (QAction* action : timestamps_->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QStringList RxConsole::menuTexts() const
{
    QStringList texts;
    for (QAction* action : actions_)
        texts << action->text();
    return texts;
}

void RxConsole::showOptions()
{
    const QList<QAction*> choices = timestamps_->actions();
    choices.at(static_cast<int>(options_.timestamps))->setChecked(true);
    action(kShowSent)->setChecked(options_.sentCommands);
    action(kShowHex)->setChecked(options_.hex);
}

void RxConsole::readOptionsFromMenu()
{
    ConsoleOptions options;
    options.timestamps = static_cast<ConsoleOptions::Timestamps>(
        timestamps_->actions().indexOf(timestamps_->checkedAction()));
    options.sentCommands = action(kShowSent)->isChecked();
    options.hex = action(kShowHex)->isChecked();
    SetOptions(options);
}

void RxConsole::SetOptions(const ConsoleOptions& options)
{
    options_ = options;
    options_.Save();
    showOptions();
}

bool RxConsole::autoscrollPaused() const { return box_->autoscrollPaused(); }

void RxConsole::AddReceived(const QByteArray& bytes, const QString& text)
{
    box_->AppendLog(log_.AddReceived(now(), bytes, text, options_));
}

void RxConsole::AddTyped(const QString& text, bool goesOut)
{
    box_->AppendLog(log_.AddTyped(text, goesOut, options_));
}

void RxConsole::AddSent(const QByteArray& bytes)
{
    const QString shown = log_.AddSent(now(), bytes, options_);
    // In front of the status lines: a poll shown in the log must not wipe "The system is being
    // initialized..." away.
    if (!shown.isEmpty())
        box_->InsertLog(shown);
}

void RxConsole::Clear()
{
    log_.Clear();
    box_->ResetToLog({});
}

void RxConsole::Replace(const QString& text)
{
    log_.Replace(text);
    box_->ResetToLog(text);
}

bool RxConsole::FindNext(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (box_->find(text))
        return true;
    QTextCursor cursor = box_->textCursor();
    cursor.movePosition(QTextCursor::Start);
    box_->setTextCursor(cursor);
    return box_->find(text);
}

bool RxConsole::SaveLog(const QString& path, QString* error) const
{
    return writeFile(path, log_.SavedText(options_.hex).toUtf8(), QIODevice::Text, error);
}

bool RxConsole::SaveRaw(const QString& path, QString* error) const
{
    return writeFile(path, log_.ReceivedBytes(), {}, error);
}

void RxConsole::askAndFind()
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(box_, QStringLiteral("Find"), QStringLiteral("Find what:"),
                              QLineEdit::Normal, findText_, &ok);
    if (!ok || text.isEmpty())
        return;
    findText_ = text;
    findAgain();
}

void RxConsole::findAgain()
{
    if (findText_.isEmpty()) {
        askAndFind();
        return;
    }
    if (!FindNext(findText_))
        QApplication::beep();
}

void RxConsole::askAndSave(bool raw)
{
    const QString suggested = QDir::home().filePath(
        QStringLiteral("tavlo-rx-%1.%2")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")),
                 raw ? QStringLiteral("bin") : QStringLiteral("txt")));
    const QString path = QFileDialog::getSaveFileName(
        box_, raw ? kSaveRaw.chopped(3) : kSaveLog.chopped(3), suggested,
        raw ? QStringLiteral("Raw bytes (*.bin);;All files (*)")
            : QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!(raw ? SaveRaw(path, &error) : SaveLog(path, &error)))
        ShowError(QStringLiteral("ERROR:The log could not be saved to %1 (%2)").arg(path, error));
}
