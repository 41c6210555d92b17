#include "DeviceGroup.h"

// A COM port belongs to no group: whoever may log on may open it.
QString DeviceGroupName(const QString&) { return {}; }
