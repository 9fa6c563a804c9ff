// Builds input files byte by byte from named little-endian fields, so a test
// reads as the layout it stands for.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

struct Bytes {
    std::vector<uint8_t> data;

    Bytes& u8(unsigned v) { data.push_back(uint8_t(v)); return *this; }
    Bytes& u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& u24(unsigned v) { return u16(v & 0xFFFF).u8((v >> 16) & 0xFF); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& i8(int v) { return u8(unsigned(v) & 0xFF); }
    Bytes& i16(int v) { return u16(unsigned(v) & 0xFFFF); }
    Bytes& i32(int32_t v) { return u32(uint32_t(v)); }
    Bytes& f32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return u32(bits);
    }
    // The text's bytes, no terminator.
    Bytes& text(const std::string& s) { data.insert(data.end(), s.begin(), s.end()); return *this; }
    // A fixed-width text field, zero-filled behind the text (cut if longer).
    Bytes& field(const std::string& s, size_t width)
    {
        for (size_t i = 0; i < width; i++)
            u8(i < s.size() ? uint8_t(s[i]) : 0);
        return *this;
    }
    Bytes& zeros(size_t n) { return fill(n, 0); }
    Bytes& fill(size_t n, uint8_t v) { data.insert(data.end(), n, v); return *this; }
    Bytes& raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes)
            u8(unsigned(b));
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& bytes) { data.insert(data.end(), bytes.begin(), bytes.end()); return *this; }
    Bytes& append(const Bytes& other) { return raw(other.data); }
    // Zero bytes up to an absolute length.
    Bytes& padTo(size_t n) { return zeros(n > data.size() ? n - data.size() : 0); }
    // Overwrites bytes at an absolute offset.
    Bytes& patch16(size_t at, unsigned v)
    {
        data.at(at) = uint8_t(v);
        data.at(at + 1) = uint8_t(v >> 8);
        return *this;
    }
    Bytes& patch32(size_t at, uint32_t v)
    {
        patch16(at, v & 0xFFFF);
        return patch16(at + 2, v >> 16);
    }
    size_t size() const { return data.size(); }
};
