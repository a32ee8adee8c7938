// Reads a fuzz input as fixed little-endian fields. Past the end every field reads as zero, so
// short inputs are still whole cases and seed files stay a few bytes long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t U8() {
        return offset_ < size_ ? data_[offset_++] : 0;
    }
    uint16_t U16() {
        const uint16_t low = U8();
        return static_cast<uint16_t>(low | U8() << 8);
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | static_cast<uint32_t>(U16()) << 16;
    }
    int32_t I32() {
        return static_cast<int32_t>(U32());
    }
    // What is left of the input once the fixed fields are read.
    const uint8_t* Rest() const {
        return data_ + offset_;
    }
    size_t RestSize() const {
        return size_ - offset_;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

// A broken rule is a crash, so that libFuzzer keeps the input that broke it.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #condition);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
