#pragma once
// Every message box and question goes through here. The production service shows owner-less
// boxes: the call blocks its handler (a nested event loop) while the rest of the window stays
// usable, as owner-less boxes behave on Windows. Tests install a recorder that records each
// box and answers it at once.
//
// When the program ends, boxes still open must not keep it running nor let a handler go on
// as if the operator had agreed: SetEnding(true) closes them all as cancelled.
#include <QString>
#include <functional>
#include <optional>
#include <vector>

enum class MessageIcon { None, Error, Information };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

struct OperatorMessage {
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::Error;
    MessageButtons buttons = MessageButtons::Ok;
};

class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;
    virtual MessageAnswer Show(const OperatorMessage& message) = 0;
    // Shows the box and returns at once; then runs with the answer when the box is dismissed.
    // For handlers whose work after the box must not wait behind boxes opened later (nested
    // event loops unwind last-in first-out).
    virtual void ShowThen(const OperatorMessage& message, std::function<void(MessageAnswer)> then)
    {
        then(Show(message));
    }
    // Asks for a secret (a token): the caption is the dialog's title, the text its label, and
    // what is typed is not shown. Returns at once; then runs with the text, or nothing when
    // cancelled.
    virtual void AskSecretThen(const OperatorMessage& message,
                               std::function<void(std::optional<QString>)> then)
    {
        (void)message;
        then(std::nullopt);
    }
    // Ending: every box still open closes and counts as Cancel (a blocked handler returns with
    // it, a follow-up runs with it), and boxes asked for until SetEnding(false) are not shown
    // and answer Cancel at once.
    virtual void SetEnding(bool ending) { (void)ending; }
};

// The service in use; the production one unless a test has installed its own.
OperatorMessages& Messages();
void InstallMessages(OperatorMessages* service); // nullptr restores the production service

// The common case: caption "ERROR", error icon, one OK button.
void ShowError(const QString& text);
// The same, returning at once; then runs when the box is dismissed.
void ShowErrorThen(const QString& text, std::function<void()> then);
// A question with OK and Cancel; true when answered OK.
bool AskOkCancel(const QString& text, const QString& caption, MessageIcon icon);

// For tests: records every message and answers with the queued answers (OK when none left).
class RecordingMessages : public OperatorMessages {
public:
    RecordingMessages() { InstallMessages(this); }
    ~RecordingMessages() override { InstallMessages(nullptr); }
    MessageAnswer Show(const OperatorMessage& message) override;

    void AskSecretThen(const OperatorMessage& message,
                       std::function<void(std::optional<QString>)> then) override;

    std::vector<OperatorMessage> shown;
    std::vector<MessageAnswer> answers;
    std::vector<std::optional<QString>> secrets;        // answers to AskSecretThen; none: cancelled
    std::function<void(const OperatorMessage&)> onShow; // runs before the answer is given
};
