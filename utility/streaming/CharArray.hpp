#pragma once

#include <cstddef>
#include <cstdint>

namespace utility::streaming {

// A fixed-length character code such as a four-character RIFF chunk identifier.
// The buffer keeps one extra zero byte so that the code can also be printed as
// a C string.
template <std::size_t N>
class CharArray {
public:
    CharArray() {
        for (std::size_t i = 0; i <= N; ++i) {
            buffer[i] = 0;
        }
    }

    CharArray(const CharArray& other) : length(other.length) {
        for (std::size_t i = 0; i <= N; ++i) {
            buffer[i] = other.buffer[i];
        }
    }

    CharArray& operator=(const CharArray& other) {
        CharArray copy(other);
        for (std::size_t i = 0; i <= N; ++i) {
            const char held = buffer[i];
            buffer[i] = copy.buffer[i];
            copy.buffer[i] = held;
        }
        length = copy.length;
        return *this;
    }

    virtual ~CharArray() = default;

    char& operator[](std::size_t position) { return buffer[position]; }
    const char& operator[](std::size_t position) const { return buffer[position]; }

    // The N code bytes, for filling from a stream.
    char* data() { return buffer; }
    const char* c_str() const { return buffer; }
    std::uint32_t size() const { return length; }

    // True when the string's first N characters equal the held ones byte for
    // byte. A shorter string never matches, and nothing past its terminator is
    // read.
    bool operator==(const char* text) const {
        if (text == nullptr || length != N) {
            return false;
        }
        for (std::size_t i = 0; i < N; ++i) {
            if (text[i] == '\0' || text[i] != buffer[i]) {
                return false;
            }
        }
        return true;
    }

    bool operator!=(const char* text) const { return !(*this == text); }

private:
    std::uint32_t length = static_cast<std::uint32_t>(N);
    char buffer[N + 1];
};

} // namespace utility::streaming
