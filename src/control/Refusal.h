#pragma once
// A request that must not reach the matrix: a stable code that programs act on, and a message
// for people that names the value refused. The request functions throw it.
#include <string>

enum class RefusalCode {
    BadValue,          // a number out of range, a word not among the choices
    BadName,           // a port or scene name the matrix cannot store
    BadText,           // raw text that cannot be sent
    BadAddress,        // an address, mask or gateway the matrix must not be given
    OtherSegment,      // a gateway outside the address's network segment, not confirmed
    NeedsConfirmation, // a restart or factory reset, not confirmed
};

// The code as interfaces spell it: "bad_value", "bad_name", ...
const char* RefusalCodeName(RefusalCode code);

struct Refusal {
    RefusalCode code;
    std::string message;
};
