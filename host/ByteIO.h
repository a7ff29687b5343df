#pragma once
// Little-endian field-by-field encoding for stored records: never memory images of structs.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vex {

class ByteWriter {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void Bool(bool v) { U8(v ? 1 : 0); }
    void U16(uint16_t v)
    {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            U8(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U64(uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            U8(static_cast<uint8_t>(v >> (8 * i)));
    }
    void F32(float v)
    {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void F64(double v)
    {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        U64(u);
    }
    void Bytes(const void* data, size_t n)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + n);
    }
    void Zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    /// A fixed-width text field: the text cut to width - 1 bytes, then zeros up to width.
    void FixedText(const char* text, size_t width)
    {
        size_t n = text ? strnlen(text, width - 1) : 0;
        Bytes(text, n);
        Zeros(width - n);
    }
    /// A 32-bit length, then the bytes.
    void String(const std::string& s)
    {
        U32(static_cast<uint32_t>(s.size()));
        Bytes(s.data(), s.size());
    }

    const std::vector<uint8_t>& Data() const { return bytes_; }
    std::vector<uint8_t> Take() { return std::move(bytes_); }
    size_t Size() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

/// Bounded reader: every read checks the bytes left and fails (returning false, value untouched)
/// rather than reading past the end.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    size_t Left() const { return size_ - at_; }
    size_t Offset() const { return at_; }
    bool Skip(size_t n)
    {
        if (n > Left())
            return false;
        at_ += n;
        return true;
    }

    bool U8(uint8_t& v)
    {
        if (Left() < 1)
            return false;
        v = data_[at_++];
        return true;
    }
    bool Bool(bool& v)
    {
        uint8_t b;
        if (!U8(b))
            return false;
        v = b != 0;
        return true;
    }
    bool U16(uint16_t& v)
    {
        if (Left() < 2)
            return false;
        v = static_cast<uint16_t>(data_[at_] | data_[at_ + 1] << 8);
        at_ += 2;
        return true;
    }
    bool U32(uint32_t& v)
    {
        if (Left() < 4)
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(data_[at_ + i]) << (8 * i);
        at_ += 4;
        return true;
    }
    bool I32(int32_t& v)
    {
        uint32_t u;
        if (!U32(u))
            return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool U64(uint64_t& v)
    {
        if (Left() < 8)
            return false;
        v = 0;
        for (int i = 0; i < 8; ++i)
            v |= uint64_t(data_[at_ + i]) << (8 * i);
        at_ += 8;
        return true;
    }
    bool F32(float& v)
    {
        uint32_t u;
        if (!U32(u))
            return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    bool F64(double& v)
    {
        uint64_t u;
        if (!U64(u))
            return false;
        std::memcpy(&v, &u, 8);
        return true;
    }
    bool Bytes(void* out, size_t n)
    {
        if (n > Left())
            return false;
        if (n == 0)
            return true; // out may be null then (an empty vector's data)
        std::memcpy(out, data_ + at_, n);
        at_ += n;
        return true;
    }
    /// A fixed-width text field, always returned NUL-terminated within outSize.
    bool FixedText(char* out, size_t outSize, size_t width)
    {
        if (width > Left() || outSize == 0)
            return false;
        if (width == 0) {
            std::memset(out, 0, outSize);
            return true;
        }
        const size_t n = std::min(outSize - 1, strnlen(reinterpret_cast<const char*>(data_ + at_), width));
        std::memcpy(out, data_ + at_, n);
        std::memset(out + n, 0, outSize - n);
        at_ += width;
        return true;
    }
    /// A 32-bit length then bytes; fails when the length exceeds what is left or maxLength.
    bool String(std::string& s, size_t maxLength = 1u << 20)
    {
        uint32_t n;
        const size_t start = at_;
        if (!U32(n))
            return false;
        if (n > Left() || n > maxLength) {
            at_ = start;
            return false;
        }
        s.assign(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace vex
