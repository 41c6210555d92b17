#include "CDialog_Network.h"

CDialog_Network::CDialog_Network(QWidget* parent) : QWidget(parent) {}
bool CDialog_Network::RefreshFromStatus() { return false; }
