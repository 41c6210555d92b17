#include "MqttTls.h"

bool MqttTlsInThisBuild() { return true; }
