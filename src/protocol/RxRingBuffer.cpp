#include "RxRingBuffer.h"

#include <cstring>

bool RxRingBuffer::Put(const uint8_t* bytes, size_t count)
{
    const size_t free = (wrapped_ ? 0 : kSize) + readPos_ - writePos_;
    if (free < count)
        return false;
    const size_t tail = kSize - writePos_;
    if (tail < count) {
        std::memcpy(data_.data() + writePos_, bytes, tail);
        std::memcpy(data_.data(), bytes + tail, count - tail);
        writePos_ = count - tail;
        wrapped_ = true;
        return true;
    }
    if (count > 0)
        std::memcpy(data_.data() + writePos_, bytes, count);
    writePos_ += count;
    return true;
}

bool RxRingBuffer::Get(uint8_t* out, size_t count)
{
    const size_t available = (wrapped_ ? kSize : 0) - readPos_ + writePos_;
    if (available < count)
        return false;
    const size_t tail = kSize - readPos_;
    if (tail < count) {
        std::memcpy(out, data_.data() + readPos_, tail);
        std::memcpy(out + tail, data_.data(), count - tail);
        readPos_ = count - tail;
        wrapped_ = false;
        return true;
    }
    if (count > 0)
        std::memcpy(out, data_.data() + readPos_, count);
    readPos_ += count;
    return true;
}
