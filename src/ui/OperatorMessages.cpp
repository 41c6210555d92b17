#include "OperatorMessages.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>

#include <algorithm>

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// An owner-less, non-modal box with its own event loop: the caller waits for the answer,
// while the main window (and other such boxes) keep working.
//
// A modal dialog blocks every window outside itself, a box without an owner included, so a
// box raised while one is open (from the dialog's own handlers, or from the Link page behind
// it) belongs to that dialog and is modal over it: it then takes the keyboard and the mouse,
// as it does on Windows.
class BoxMessages : public OperatorMessages {
public:
    MessageAnswer Show(const OperatorMessage& message) override
    {
        if (ending_)
            return MessageAnswer::Cancel;
        QEventLoop loop;
        MessageAnswer answer = MessageAnswer::Cancel;
        ShowThen(message, [&](MessageAnswer given) {
            answer = given;
            loop.quit();
        });
        loop.exec();
        return answer;
    }

    void ShowThen(const OperatorMessage& message, std::function<void(MessageAnswer)> then) override
    {
        if (ending_) {
            then(MessageAnswer::Cancel);
            return;
        }
        QMessageBox* box = makeBox(message, QApplication::activeModalWidget());
        open_.push_back({box, std::move(then)});
        QObject::connect(box, &QMessageBox::finished, box, [this, box](int result) {
            answer(box, result == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel);
        });
        // Gone with the dialog it belongs to before it was answered: it counts as cancelled,
        // so no caller waits for it for ever.
        QObject::connect(box, &QObject::destroyed, box, [this, box] { forget(box); });
        box->show();
    }

    void SetEnding(bool ending) override
    {
        ending_ = ending;
        // Newest first, so nested loops are told to quit in the order they unwind; each
        // follow-up may ask for a box, which is refused now.
        while (ending_ && !open_.empty())
            answer(open_.back().box, MessageAnswer::Cancel);
    }

private:
    struct OpenBox {
        QMessageBox* box;
        std::function<void(MessageAnswer)> then;
    };

    static QMessageBox* makeBox(const OperatorMessage& message, QWidget* modal)
    {
        // Message texts end their lines with "\r\n"; a label would show the "\r".
        QString text = message.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        auto* box =
            new QMessageBox(boxIcon(message.icon), message.caption, text, QMessageBox::Ok, modal);
        if (message.buttons == MessageButtons::OkCancel)
            box->addButton(QMessageBox::Cancel);
        // Over a modal dialog the box is modal itself: the newest modal window is the one that
        // takes input, on every platform, while a window merely owned by the dialog may still
        // count as blocked (it does on X11).
        box->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
        return box;
    }

    // Each box is answered once, by the operator or by the end of the program.
    void answer(QMessageBox* box, MessageAnswer given)
    {
        const std::function<void(MessageAnswer)> then = take(box);
        if (!then)
            return;
        box->hide();
        // Not deleted here: this may run inside the box's own signal.
        box->deleteLater();
        then(given);
    }

    void forget(QMessageBox* box)
    {
        if (const std::function<void(MessageAnswer)> then = take(box))
            then(MessageAnswer::Cancel);
    }

    // The box's follow-up, once: empty when it has been answered already.
    std::function<void(MessageAnswer)> take(QMessageBox* box)
    {
        const auto it = std::find_if(open_.begin(), open_.end(),
                                     [box](const OpenBox& open) { return open.box == box; });
        if (it == open_.end())
            return {};
        std::function<void(MessageAnswer)> then = std::move(it->then);
        open_.erase(it);
        return then;
    }

    std::vector<OpenBox> open_;
    bool ending_ = false;
};

BoxMessages productionMessages;
OperatorMessages* current = &productionMessages;

} // namespace

OperatorMessages& Messages() { return *current; }

void InstallMessages(OperatorMessages* service)
{
    current = service ? service : &productionMessages;
}

void ShowError(const QString& text)
{
    Messages().Show({text, QStringLiteral("ERROR"), MessageIcon::Error, MessageButtons::Ok});
}

void ShowErrorThen(const QString& text, std::function<void()> then)
{
    Messages().ShowThen({text, QStringLiteral("ERROR"), MessageIcon::Error, MessageButtons::Ok},
                        [then = std::move(then)](MessageAnswer) { then(); });
}

bool AskOkCancel(const QString& text, const QString& caption, MessageIcon icon)
{
    return Messages().Show({text, caption, icon, MessageButtons::OkCancel}) == MessageAnswer::Ok;
}

MessageAnswer RecordingMessages::Show(const OperatorMessage& message)
{
    shown.push_back(message);
    if (onShow)
        onShow(message);
    if (answers.empty())
        return MessageAnswer::Ok;
    const MessageAnswer answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}
