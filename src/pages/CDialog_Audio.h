#pragma once
// The audio page: which audio each input carries ("H", "A" or neither) and the two audio
// switches of each output ("A", commanded as iis, and "S", commanded as spdif), port by port or
// all at once. A click sends its command and leaves its side (inputs or outputs) disabled until
// the next status block confirms it, or until the side's timer reports a time-out.
//
// Threads: everything here, the refreshes included, runs on the UI thread.
#include <QWidget>

#include <array>
#include <vector>

class QGroupBox;
class QPushButton;
class QTimer;

class CDialog_Audio : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPorts = 4;

    // Input n's H button is 1031 + 2n and its A button 1032 + 2n; output n's A button is
    // 1004 + 2n and its S button 1005 + 2n.
    static constexpr int kInputHBase = 1031;
    static constexpr int kInputABase = 1032;
    static constexpr int kInputAllH = 1041;
    static constexpr int kInputAllA = 1042;
    static constexpr int kOutputABase = 1004;
    static constexpr int kOutputSBase = 1005;
    static constexpr int kOutputAllA = 1014;
    static constexpr int kOutputAllS = 1015;

    // The timers that guard each side while it waits for the matrix; tests find them by the
    // object names "timer404" and "timer505".
    static constexpr int kInputTimerId = 404;
    static constexpr int kOutputTimerId = 505;
    static constexpr int kInputTimeoutMs = 6000;
    static constexpr int kInputAllTimeoutMs = 3000;
    static constexpr int kOutputTimeoutMs = 6000;

    // Pauses after a command, so the matrix has taken one before the next can be fired.
    static constexpr int kInputPauseMs = 500;
    static constexpr int kOutputPauseMs = 200;
    static constexpr int kOutputAllPauseMs = 500;

    explicit CDialog_Audio(QWidget* parent = nullptr);

    // Copy the matrix's audio settings onto the buttons and end the side's waiting state.
    // Nothing happens before the first status block.
    void RefreshAudioInputs();
    void RefreshAudioOutputs();

private:
    // Index 0 is the first button of a port's group ("H" for inputs, "A" for outputs), index 1
    // the second ("A" for inputs, "S" for outputs).
    using Pair = std::array<QPushButton*, 2>;

    QGroupBox* buildSide(const QString& title, const QString& portTitle,
                         const std::array<QString, 2>& captions, int firstBase, int secondBase,
                         int allFirst, int allSecond, std::array<Pair, kPorts>& ports, Pair& all);
    QPushButton* makeButton(const QString& group, const QString& caption, int id);
    QTimer* makeTimer(int id);

    void OnInputClicked(int input, int which);
    void OnInputAllClicked(int which);
    void OnOutputClicked(int output, int which);
    void OnOutputAllClicked(int which);
    void OnTimer(int id);

    static std::vector<QPushButton*> sideButtons(const std::array<Pair, kPorts>& ports,
                                                 const Pair& all);
    static void enableButtons(const std::vector<QPushButton*>& buttons, bool enabled);
    static void checkAllWhereEveryPortIs(const std::array<Pair, kPorts>& ports, Pair& all);

    std::array<Pair, kPorts> inputs_{};
    Pair inputAll_{};
    std::array<Pair, kPorts> outputs_{};
    Pair outputAll_{};
    QTimer* inputTimer_ = nullptr;
    QTimer* outputTimer_ = nullptr;
};
