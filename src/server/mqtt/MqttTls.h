#pragma once
// Whether this build's MQTT client library speaks TLS: Debian's libmosquitto does
// (MqttTls_openssl.cpp); the Windows build's is made without it, as there is no OpenSSL for
// mingw in Debian (MqttTls_none.cpp).
bool MqttTlsInThisBuild();
