#pragma once
// Checks of the dotted IPv4 texts the operator types before they are sent to the matrix. A
// malformed address sent there can cut the operator off from the matrix, so the check is strict.
// Every front end (the Network page, tavloctl, the server) checks addresses here, so they agree.
#include <string>
#include <string_view>

inline constexpr size_t kMaxAddressText = 127;

enum class AddressFault {
    None,
    // Not four parts of 1 to 3 decimal digits joined by dots, each at most 255 and the last at
    // most 254; or longer than 127 bytes. The Network page has always refused these.
    Malformed,
    // A part written with a leading zero (010): devices read it as octal or as decimal.
    LeadingZero,
    // A mask that is not a run of one-bits from the left (255.0.255.0, 0.0.0.0).
    NotAMask,
};

struct AddressVerdict {
    AddressFault fault = AddressFault::None;
    std::string reason; // what is wrong, naming the text; empty when it passes

    bool passes() const { return fault == AddressFault::None; }
};

// An address or gateway. No lower bound: 0.0.0.0 passes.
AddressVerdict CheckAddress(std::string_view text);
// A subnet mask: an address whose one-bits run unbroken from the left, at least one of them.
AddressVerdict CheckMask(std::string_view text);

// Whether the gateway lies in the address's subnet: each of the four parts (the number formed
// by its leading digits) compared as (ip AND mask) == (gateway AND mask).
bool IsSameSegment(std::string_view ip, std::string_view mask, std::string_view gateway);

// The number formed by the leading decimal digits of text (0 when there are none), saturating.
int LeadingNumber(std::string_view text);
