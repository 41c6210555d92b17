#include "CDialog_Audio.h"

CDialog_Audio::CDialog_Audio(QWidget* parent) : QWidget(parent) {}
void CDialog_Audio::RefreshAudioInputs() {}
void CDialog_Audio::RefreshAudioOutputs() {}
