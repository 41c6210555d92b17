#pragma once
// The port list: a drop-down list whose opened list is as wide as its widest item, so a long
// port description can be read in full even though the closed control is narrow.
#include <QComboBox>

class CMyComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    // Widens the list that is about to open: the widest item in the control's font (at least
    // 10 px) plus 10 px; the list never opens narrower than the control itself.
    void FitDropDownWidth();
    // The width FitDropDownWidth last asked for (0 before the list was first opened).
    int fittedDropDownWidth() const { return fittedWidth_; }

    void showPopup() override;

private:
    int fittedWidth_ = 0;
};
