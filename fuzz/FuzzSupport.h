// Shared by the fuzz targets: the entry point each one defines, a check that stops the run
// loudly (libFuzzer then keeps the input as a crash), and a reader that turns the fuzzer's bytes
// into small decisions. The replay main (ReplayMain.cpp) feeds files to the same entry point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace qorfuzz {

// Reads the input front to back; once it is used up every read gives zeros, so that a run
// always ends.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_used >= m_size; }

    uint8_t Byte() { return empty() ? 0 : m_data[m_used++]; }
    // A number from 0 to count - 1 (count >= 1).
    unsigned Pick(unsigned count) { return Byte() % count; }
    bool Bit() { return (Byte() & 1) != 0; }

    template <typename T> T Raw() {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char& byte : bytes) {
            byte = Byte();
        }
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // Up to `limit` bytes, zero bytes included.
    std::string Bytes(size_t limit) {
        const size_t length = Pick(static_cast<unsigned>(limit) + 1);
        std::string out;
        for (size_t i = 0; i < length && !empty(); ++i) {
            out += static_cast<char>(Byte());
        }
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_used = 0;
};

} // namespace qorfuzz
