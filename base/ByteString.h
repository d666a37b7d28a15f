// A counted string of 0 to 255 bytes: telegrams, command bytes and queue
// entries. Appending past 255 bytes silently cuts at 255: a telegram's
// length byte counts no more.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class TByteString {
public:
    static constexpr std::size_t MaxLength = 255;

    TByteString() = default;
    TByteString(std::initializer_list<std::uint8_t> bytes) { Append(bytes.begin(), bytes.size()); }
    TByteString(const std::uint8_t* bytes, std::size_t count) { Append(bytes, count); }
    // n copies of one byte (for example n zero bytes of output data).
    static TByteString Filled(std::size_t count, std::uint8_t value = 0)
    {
        TByteString s;
        for (std::size_t i = 0; i < count; ++i) s.Append(value);
        return s;
    }

    std::size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::uint8_t* data() { return bytes_.data(); }
    std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
    std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }
    const std::uint8_t* begin() const { return bytes_.data(); }
    const std::uint8_t* end() const { return bytes_.data() + length_; }

    // Appends one byte; returns false (and drops it) when the string is full.
    bool Append(std::uint8_t b)
    {
        if (length_ >= MaxLength) return false;
        bytes_[length_++] = b;
        return true;
    }
    void Append(const std::uint8_t* bytes, std::size_t count)
    {
        for (std::size_t i = 0; i < count && Append(bytes[i]); ++i) {
        }
    }
    void Append(const TByteString& other) { Append(other.data(), other.size()); }
    TByteString& operator+=(const TByteString& other)
    {
        Append(other);
        return *this;
    }
    friend TByteString operator+(TByteString a, const TByteString& b)
    {
        a += b;
        return a;
    }

    // Keeps the first `count` bytes (no effect when count >= size()).
    void Truncate(std::size_t count)
    {
        if (count < length_) length_ = count;
    }
    void Clear() { length_ = 0; }
    // The bytes from `first` on, at most `count` of them.
    TByteString Mid(std::size_t first, std::size_t count = MaxLength) const
    {
        TByteString s;
        if (first < length_) s.Append(bytes_.data() + first, std::min(count, length_ - first));
        return s;
    }

    friend bool operator==(const TByteString& a, const TByteString& b)
    {
        return std::string_view(reinterpret_cast<const char*>(a.data()), a.size()) ==
               std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
    }

private:
    std::array<std::uint8_t, MaxLength> bytes_{};
    std::size_t length_ = 0;
};

// Uppercase hex, two digits per byte. With `spaced`, one space stands before
// each byte (the telegram dump format: " 68 05 05 68 ...").
inline std::string HexDump(const std::uint8_t* bytes, std::size_t count, bool spaced)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (spaced) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}
inline std::string HexDump(const TByteString& s, bool spaced = true) { return HexDump(s.data(), s.size(), spaced); }
