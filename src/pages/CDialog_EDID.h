#pragma once
// The EDID page: the operator selects inputs, picks a mode in "Output Mode" and clicks a
// numbered button; the page sends one EDID command per selected input (or one for all) and
// writes the choice into the input buttons' captions until the next status block shows the
// matrix's own view. A numbered button with no input selected only shows that EDID's name.
//
// The "Output" group is laid out by hand: HDMI and HDBT offer four numbers, so the page moves
// "01"-"04", "Edit" and the list into a compact two-column arrangement derived from the full
// one, and back again for User and Default.
//
// Threads: UI thread only.
#include <QRect>
#include <QWidget>

#include <array>
#include <vector>

class EDID_Edit_Page;
class QComboBox;
class QGroupBox;
class QPushButton;
class QTextEdit;

class CDialog_EDID : public QWidget {
    Q_OBJECT
public:
    static constexpr int kInputs = 4;
    static constexpr int kNumbers = 8;
    static constexpr int kCompactNumbers = 4;

    static constexpr int kModeList = 1002;
    static constexpr int kInfoBox = 1064;
    static constexpr int kInputBase = 1053; // input n is 1053 + n
    static constexpr int kAllInputs = 1058;
    static constexpr std::array<int, kNumbers> kNumberIds = {1063, 1016, 1017, 1018,
                                                             1019, 1020, 1021, 1022};
    static constexpr int kEdit = 1023;

    // Compact positions are the full ones shifted sideways by this much; the list also loses
    // kCompactListTrim from its right edge.
    static constexpr int kCompactShift = 40;
    static constexpr int kCompactListTrim = 41;
    static constexpr int kInfoInset = 10;

    explicit CDialog_EDID(QWidget* parent = nullptr);

    // Captions the input buttons from the status block and clears the selection.
    void RefreshEdidInputs();
    // Shows the name of EDID `number` (1-8) of `mode` (0 Default, 1 User, 2 HDMI, 3 HDBT).
    void ShowEdidInfo(int mode, int number);

private:
    QGroupBox* buildInputGroup();
    QGroupBox* buildOutputGroup();
    QWidget* buildDisplayRow();
    void recordLayouts();
    void applyLayoutForCurrentItem();

    void OnModeChanged();
    void OnInputClicked(int input);
    void OnAllClicked();
    void OnNumberClicked(int number);
    void OnEditClicked();

    std::vector<int> checkedInputs() const;

    std::array<QPushButton*, kInputs> inputs_{};
    QPushButton* all_ = nullptr;
    QComboBox* list_ = nullptr;
    std::array<QPushButton*, kNumbers> numbers_{};
    QPushButton* edit_ = nullptr;
    QTextEdit* info_ = nullptr;
    EDID_Edit_Page* editDialog_ = nullptr;

    // As placed at initialisation, in the "Output" group's coordinates.
    std::array<QRect, kNumbers> fullNumbers_{};
    QRect fullEdit_;
    QRect fullList_;
    std::array<QRect, kCompactNumbers> compactNumbers_{};
    QRect compactEdit_;
    QRect compactList_;
};
