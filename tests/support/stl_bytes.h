// Builds binary STL files in memory, byte for byte.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "diag/base.h"

struct BinaryTriangle {
    f32 normal[3] = {0, 0, 0};
    f32 vertices[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    u16 attribute = 0;
};

class BinaryStlBuilder {
public:
    explicit BinaryStlBuilder(const std::string& header = "") {
        bytes_.assign(80, 0);
        std::memcpy(bytes_.data(), header.data(), header.size() < 80 ? header.size() : 80);
    }

    BinaryStlBuilder& count(u32 value) {
        append(&value, 4);
        return *this;
    }

    BinaryStlBuilder& triangle(const BinaryTriangle& t) {
        append(t.normal, 12);
        append(t.vertices, 36);
        append(&t.attribute, 2);
        return *this;
    }

    // A block: its count and `n` copies of `t`.
    BinaryStlBuilder& block(u32 n, const BinaryTriangle& t = BinaryTriangle()) {
        count(n);
        for (u32 i = 0; i < n; ++i)
            triangle(t);
        return *this;
    }

    BinaryStlBuilder& raw(const std::string& tail) {
        append(tail.data(), tail.size());
        return *this;
    }

    const std::vector<u8>& bytes() const { return bytes_; }

private:
    void append(const void* data, size_t size) {
        const u8* p = static_cast<const u8*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }

    std::vector<u8> bytes_;
};
