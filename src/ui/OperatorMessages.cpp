#include "OperatorMessages.h"

#include <QEventLoop>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// An owner-less, non-modal box with its own event loop: the caller waits for the answer,
// while the main window (and other such boxes) keep working.
class BoxMessages : public OperatorMessages {
public:
    MessageAnswer Show(const OperatorMessage& message) override
    {
        QEventLoop loop;
        MessageAnswer answer = MessageAnswer::Cancel;
        ShowThen(message, [&](MessageAnswer given) {
            answer = given;
            loop.quit();
        });
        loop.exec();
        return answer;
    }

    void ShowThen(const OperatorMessage& message,
                  std::function<void(MessageAnswer)> then) override
    {
        // Message texts end their lines with "\r\n"; a label would show the "\r".
        QString text = message.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        auto* box = new QMessageBox(boxIcon(message.icon), message.caption, text, QMessageBox::Ok);
        if (message.buttons == MessageButtons::OkCancel)
            box->addButton(QMessageBox::Cancel);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QMessageBox::finished, box, [then = std::move(then)](int result) {
            then(result == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel);
        });
        box->show();
    }
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
