// A mutator for the PNG fuzz targets: after libFuzzer's own mutation it
// writes the right CRC into every whole chunk. Without it nearly every
// mutated chunk fails libpng's CRC check, and the fuzzer never gets past
// the chunk reader into the decoding it is meant to exercise.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t ReadBigEndian(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void WriteBigEndian(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

// Walks the chunks after the signature (length, type, data, CRC) and stops
// at the first one that does not fit in the input.
void FixChunkCrcs(uint8_t* data, size_t size) {
    if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0)
        return;
    size_t at = sizeof kSignature;
    while (size - at >= 12) {
        const size_t length = ReadBigEndian(data + at);
        if (length > size - at - 12)
            return;
        uint8_t* typeAndData = data + at + 4;
        const uLong crc = crc32(crc32(0, nullptr, 0), typeAndData, uInt(4 + length));
        WriteBigEndian(typeAndData + 4 + length, uint32_t(crc));
        at += 12 + length;
    }
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int /*seed*/) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    FixChunkCrcs(data, size);
    return size;
}
