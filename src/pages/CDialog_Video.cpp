#include "CDialog_Video.h"

CDialog_Video::CDialog_Video(QWidget* parent) : QWidget(parent) {}
bool CDialog_Video::RefreshVideoOutputs() { return false; }
