#include "CDialog_System.h"

CDialog_System::CDialog_System(QWidget* parent) : QWidget(parent) {}
void CDialog_System::RefreshFromStatus() {}
