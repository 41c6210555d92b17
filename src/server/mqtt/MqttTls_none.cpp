#include "MqttTls.h"

bool MqttTlsInThisBuild() { return false; }
