#pragma once
// The serial ports the operator can choose from: those the system lists, then the extra ones
// added by the program (a simulator's pseudo-terminal, a path named on the command line).
// The extra list is kept for the program's whole run; call these from the UI thread.
#include <QString>
#include <stdexcept>
#include <vector>

struct SSerInfo {
    QString devicePath;   // what the port is opened with: /dev/ttyUSB0, COM3, /dev/pts/4
    QString portName;     // short name: ttyUSB0, COM3; for an extra port its device path
    QString friendlyName; // "USB Serial Port (COM3)", or the port name alone
    bool isUsbDevice = false;
    QString portDescription; // "USB Serial Port"
};

// Raised when the ports cannot be listed; what() is the text for the operator.
class SerialPortListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The system's ports, completed, followed by the extra ports not already among them.
std::vector<SSerInfo> EnumerateSerialPorts();

// Fills in missing names: an empty friendly name becomes the port name; an empty description
// becomes the friendly name, less a trailing " (…)" when that closes the text.
void CompleteSerialPortRecords(std::vector<SSerInfo>& records);

// An extra port for every later enumeration; its port name is its device path, and a second
// record with the same path replaces the first.
void AddExtraSerialPort(SSerInfo info);
void ClearExtraSerialPorts();

// The name a record's port is opened with and its list item begins with: the port name, or the
// device path when it has none.
QString PortOpenName(const SSerInfo& info);
// The port list's item for a record: the port name, a blank and the description ("COM3 USB
// Serial Port"); just the name when there is no description of its own.
QString PortListItem(const SSerInfo& info);
// The port name back from an item: its text up to the first blank.
QString PortNameFromItem(const QString& item);
