#include "Refusal.h"

const char* RefusalCodeName(RefusalCode code)
{
    switch (code) {
    case RefusalCode::BadValue:
        return "bad_value";
    case RefusalCode::BadName:
        return "bad_name";
    case RefusalCode::BadText:
        return "bad_text";
    case RefusalCode::BadAddress:
        return "bad_address";
    case RefusalCode::OtherSegment:
        return "other_segment";
    case RefusalCode::NeedsConfirmation:
        break;
    }
    return "needs_confirmation";
}
