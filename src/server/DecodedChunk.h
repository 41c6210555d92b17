#pragma once
// One chunk from the matrix after the server's model has taken it in: the bytes as they came,
// the text the receive log shows for them, and the valid frames they held, by type. Handed to
// the endpoints as one value.
#include "ReplyFrame.h"

#include <QByteArray>
#include <QString>

struct DecodedChunk {
    QByteArray bytes;
    QString text;
    FrameCounts frames;
};

// The frames whose checksum holds, found the way the receive path finds them.
FrameCounts CountValidFrames(const QByteArray& chunk);
