#pragma once
// The Video page: route inputs to one, several or all outputs, store and recall the matrix's
// eight scenes, and open the port rename and scene naming dialogs. The page waits for no
// reply: the next status block re-captions the outputs and clears every selection.
//
// Threads: everything here runs on the UI thread, RefreshVideoOutputs included.
#include <QTimer>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QPushButton;

class CDialog_Video : public QWidget {
    Q_OBJECT
public:
    static constexpr int kOutputBase = 1035; // output n is 1035 + n
    static constexpr int kAllOutputs = 1040;
    static constexpr int kInputBase = 1044;  // input n is 1044 + n
    static constexpr int kPresetBase = 1090; // preset n is 1090 + n
    static constexpr int kRecallScene = 1015;
    static constexpr int kSaveScene = 1016;
    static constexpr int kRename = 1032;
    static constexpr int kNameScenes = 1033;   // opens the scenes dialog
    static constexpr int kPresetTimerId = 666; // lapses the preset selection
    static constexpr int kPresetLapseMs = 5000;
    static constexpr int kScenePauseMs = 1000; // lets the matrix take a scene before the next
    static constexpr int kOutputs = 4;
    static constexpr int kInputs = 4;
    static constexpr int kPresets = 8;

    explicit CDialog_Video(QWidget* parent = nullptr);

    // Uncheck every selection and caption the outputs from the status block. False (captions
    // untouched) while no status block is held.
    bool RefreshVideoOutputs();

    // Route the input (1..4) to the selected outputs: captions at once, then the commands.
    void RouteInput(int input);

    void OpenRenameDialog();
    void OpenScenesDialog();

    // The tooltip of a control: input and output buttons name their ports; empty otherwise.
    QString ToolTipText(int controlId) const;

    // The preset selection lapses on this timer (id 666).
    const QTimer& presetTimer() const { return presetTimer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* buildOutputGroup();
    QGroupBox* buildInputGroup();
    QGroupBox* buildStoreGroup();
    QGroupBox* buildRenameGroup();
    QPushButton* makeButton(int id, const QString& caption, bool checkable);

    void onOutputClicked();
    void onAllClicked();
    void runSceneOperation(bool recall);
    void uncheckPresets();
    void uncheckOutputs();
    void setOutputCaption(int output, int input);

    QPushButton* output(int n) const { return outputs_[n - 1]; }
    QPushButton* preset(int n) const { return presets_[n - 1]; }

    QPushButton* outputs_[kOutputs] = {};
    QPushButton* all_ = nullptr;
    QPushButton* inputs_[kInputs] = {};
    QPushButton* presets_[kPresets] = {};
    QButtonGroup* presetGroup_ = nullptr;
    QTimer presetTimer_;
};
