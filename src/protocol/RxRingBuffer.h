#pragma once
// The receive handler's pass-through ring: 16384 bytes, all-or-nothing Put and Get.
// writePos may stand at exactly 16384 (not folded to 0); the next Put then wraps.
// One thread only (the UI thread).
#include <array>
#include <cstddef>
#include <cstdint>

class RxRingBuffer {
public:
    static constexpr size_t kSize = 16384;

    bool Put(const uint8_t* bytes, size_t count);
    bool Get(uint8_t* out, size_t count);

    size_t writePos() const { return writePos_; }
    size_t readPos() const { return readPos_; }
    bool wrapped() const { return wrapped_; }

private:
    size_t writePos_ = 0;
    size_t readPos_ = 0;
    bool wrapped_ = false;
    std::array<uint8_t, kSize> data_{};
};
