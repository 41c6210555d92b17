#include "CDialog_EDID.h"

CDialog_EDID::CDialog_EDID(QWidget* parent) : QWidget(parent) {}
void CDialog_EDID::RefreshEdidInputs() {}
