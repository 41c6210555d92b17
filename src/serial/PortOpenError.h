#pragma once
// Why a port could not be opened, as a kind a program can act on and a text for people.
#include <QString>

enum class PortOpenError {
    None,
    Missing,          // no such device, or the device is gone; no such host
    PermissionDenied, // the user may not open the device
    Busy,             // held by another program (another Tavlo program included)
    NotSerialDevice,  // it exists but is not a serial line
    ConnectionRefused,
    TimedOut,
    TokenNeeded,  // a server that takes clients only with its token was given none
    TokenRefused, // a server refused the token it was given
    Untrusted,    // TLS: the server's certificate did not verify
    Other,
};

struct PortOpenFailure {
    PortOpenError error = PortOpenError::None;
    QString text; // the reason in plain words, without the port's name: "held by another program"

    bool failed() const { return error != PortOpenError::None; }
};
