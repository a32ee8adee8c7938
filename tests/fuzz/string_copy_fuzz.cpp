// Any capacity and any string: the copy never writes past the capacity nor reads past the end of
// the source, and leaves exactly the prefix that fits, terminated.
//
// Input: capacity (u16, folded to 0..4096, the length of the longest source libFuzzer makes
// here), flags (u8: bit 0 null target, bit 1 null source), then the source bytes, which may hold
// zeros of their own; a terminator is added after them.
#include "shell/string_copy.h"

#include "fuzz_input.h"

#include <cstring>
#include <memory>

namespace {

// Bytes the copy must leave alone keep this value.
constexpr char kUntouched = static_cast<char>(0xA5);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const size_t capacity = input.U16() % 4097;
    const uint8_t flags = input.U8();

    // Both buffers exactly as long as they are meant to be, so that AddressSanitizer reports
    // one byte too many either way.
    const size_t sourceSize = input.RestSize() + 1;
    const std::unique_ptr<char[]> source(new char[sourceSize]);
    std::memcpy(source.get(), input.Rest(), sourceSize - 1);
    source[sourceSize - 1] = '\0';
    const std::unique_ptr<char[]> target(new char[capacity]);
    std::memset(target.get(), kUntouched, capacity);

    char* const targetArg = (flags & 1) ? nullptr : target.get();
    const char* const sourceArg = (flags & 2) ? nullptr : source.get();
    char* const result = CopyStringBounded(targetArg, sourceArg, capacity);

    FUZZ_REQUIRE(result == targetArg);
    if (targetArg == nullptr || capacity == 0) {
        for (size_t i = 0; i < capacity; ++i) {
            FUZZ_REQUIRE(target[i] == kUntouched);
        }
        return 0;
    }
    const size_t available = sourceArg == nullptr ? 0 : std::strlen(sourceArg);
    const size_t copied = available < capacity - 1 ? available : capacity - 1;
    FUZZ_REQUIRE(std::memcmp(target.get(), source.get(), copied) == 0);
    FUZZ_REQUIRE(target[copied] == '\0');
    for (size_t i = copied + 1; i < capacity; ++i) {
        FUZZ_REQUIRE(target[i] == kUntouched);
    }
    return 0;
}
