#pragma once
// Checks of the dotted IPv4 texts the operator types before they are sent to the matrix. A
// malformed address sent there can cut the operator off from the matrix, so the check is strict.
#include <string_view>

inline constexpr size_t kMaxAddressText = 127;

// Exactly four parts of 1 to 3 decimal digits joined by dots; each part at most 255 and the
// last at most 254. No lower bound (0.0.0.0 passes); masks are not tested for contiguity.
// Texts longer than 127 bytes fail.
bool CheckAddressText(std::string_view text);

// Whether the gateway lies in the address's subnet: each of the four parts (the number formed
// by its leading digits) compared as (ip AND mask) == (gateway AND mask).
bool IsSameSegment(std::string_view ip, std::string_view mask, std::string_view gateway);

// The number formed by the leading decimal digits of text (0 when there are none), saturating.
int LeadingNumber(std::string_view text);
