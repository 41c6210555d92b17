#include "OperatorMessages.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>

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
        // Message texts end their lines with "\r\n"; a label would show the "\r".
        QString text = message.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QPointer<QMessageBox> box =
            new QMessageBox(boxIcon(message.icon), message.caption, text, QMessageBox::Ok);
        if (message.buttons == MessageButtons::OkCancel)
            box->addButton(QMessageBox::Cancel);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QEventLoop loop;
        MessageAnswer answer = MessageAnswer::Cancel;
        QObject::connect(box, &QMessageBox::finished, &loop, [&](int result) {
            answer = result == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
            loop.quit();
        });
        box->show();
        loop.exec();
        return answer;
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
