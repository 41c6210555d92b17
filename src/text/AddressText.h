#pragma once
// Network fields of the matrix as every view shows them: dotted decimal addresses and the MAC
// in upper-case hexadecimal pairs joined by colons (00:1A:2B:3C:4D:5E).
#include <QString>
#include <array>
#include <cstdint>

QString DottedText(const std::array<uint8_t, 4>& address);
QString MacText(const std::array<uint8_t, 6>& mac);
