#pragma once
// Suites that build the Link page keep its settings (the console's toggles, the Tx history) in
// a folder of their own, never in the user's. Create one before anything reads a setting: the
// settings' folder is fixed at their first use.
#include <QTemporaryDir>
#include <QtGlobal>

class SettingsSandbox {
public:
    SettingsSandbox() { qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit()); }

private:
    QTemporaryDir dir_;
};
