// Builds binary STL files in memory, byte for byte.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "stl/records.h"

struct BinaryTriangle {
    f32 normal[3] = {0, 0, 0};
    f32 vertices[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    u16 attribute = 0;

    BinaryTriangle() = default;
    // Values not given keep the defaults above.
    explicit BinaryTriangle(std::vector<f32> corners, std::vector<f32> facetNormal = {}, u16 word = 0) : attribute(word) {
        std::copy(corners.begin(), corners.end(), vertices);
        std::copy(facetNormal.begin(), facetNormal.end(), normal);
    }
};

struct BinaryStlBuilder {
    explicit BinaryStlBuilder(const std::string& header = "") : bytes_(kBinaryHeaderBytes, 0) {
        std::memcpy(bytes_.data(), header.data(), header.size() < kBinaryHeaderBytes ? header.size() : kBinaryHeaderBytes);
    }
    BinaryStlBuilder& count(u32 value) { return append(&value, 4); }
    BinaryStlBuilder& triangle(const BinaryTriangle& t) { return append(t.normal, 12).append(t.vertices, 36).append(&t.attribute, 2); }
    // A block of these triangles, or of `n` copies of one.
    BinaryStlBuilder& block(const std::vector<BinaryTriangle>& triangles) {
        count(u32(triangles.size()));
        for (const BinaryTriangle& t : triangles)
            triangle(t);
        return *this;
    }
    BinaryStlBuilder& block(u32 n, const BinaryTriangle& t = BinaryTriangle()) { return block(std::vector<BinaryTriangle>(n, t)); }
    BinaryStlBuilder& raw(const std::string& tail) { return append(tail.data(), tail.size()); }
    const std::vector<u8>& bytes() const { return bytes_; }
    BinaryStlBuilder& append(const void* data, size_t size) {
        const u8* p = static_cast<const u8*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
        return *this;
    }
    std::vector<u8> bytes_;
};

// A closed torus (tube 12 around 40) of nu x nv quads, two triangles each, slice by slice.
inline std::vector<u8> torusFile(u32 nu, u32 nv) {
    auto at = [&](u32 i, u32 j, int axis) {
        f32 u = 6.2831853f * f32(i % nu) / f32(nu), v = 6.2831853f * f32(j % nv) / f32(nv), ring = 40 + 12 * std::cos(v);
        return axis == 0 ? ring * std::cos(u) : axis == 1 ? ring * std::sin(u) : 12 * std::sin(v);
    };
    std::vector<BinaryTriangle> triangles(2 * nu * nv);
    for (u32 k = 0; k < 6 * nu * nv; ++k) {  // corner k % 3 of triangle k / 3, of quad k / 6
        const u32 di[6] = {0, 1, 1, 0, 1, 0}, dj[6] = {0, 0, 1, 0, 1, 1}, quad = k / 6;
        for (int axis = 0; axis < 3; ++axis)
            triangles[k / 3].vertices[3 * (k % 3) + axis] = at(quad / nv + di[k % 6], quad % nv + dj[k % 6], axis);
    }
    return BinaryStlBuilder("torus").block(triangles).bytes();
}
