#pragma once
// The matrix stores and returns operator text in code page 936 (GBK). Everything typed is
// encoded here before it is sent, and everything received is decoded here before it is shown,
// so a name reads back as typed on every OS.
#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>

// The bytes of the text in code page 936, or nothing when a character has no such form: the
// bytes always decode back to the text.
std::optional<QByteArray> EncodeCp936(const QString& text);

// Received 8-bit text as Unicode; bytes without a meaning in code page 936 become U+FFFD.
QString DecodeCp936(std::string_view bytes);

inline constexpr int kNameWidth = 16; // bytes of a port or scene name entry in the matrix

struct NameCheck {
    std::optional<QByteArray> bytes; // set when the name may be sent
    QString error;                   // the operator's message otherwise
};

// A name the matrix can store: encodable (the error names the first character that is not),
// at most 16 bytes, no "#" and no control character
// (either could end the command early and smuggle a second one). An empty name passes here;
// callers have their own words for it.
NameCheck CheckName(const QString& name);
