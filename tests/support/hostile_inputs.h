// Hostile inputs made from the fixture files: every truncation of each and random edits
// (bytes changed, inserted, removed; the binary triangle count rewritten). The guard-page
// test runs the load pipeline on them; the viewer's stress test steps through them.
#pragma once

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "diag/base.h"

inline const char* const kHostileFixtures[] = {"cube_ascii.stl", "cube_binary.stl", "coloured_rgb.stl",
                                               "coloured_bgr.stl", "two_solids.stl", "two_blocks.stl",
                                               "inches.stl", "fusion_y_up.stl", "cafe_utf8.stl",
                                               "flat_onshape.stl", "broken.stl"};

inline std::vector<u8> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Calls use(bytes) for every `stride`-th truncation (lengths 0, stride, ...; the whole file
// always) and `mutations` edited copies of each fixture, in a fixed order. False when a
// fixture cannot be read.
template <typename Use>
bool forEachHostileInput(const std::string& fixtures, size_t stride, int mutations, Use use) {
    std::mt19937 random(7);
    for (const char* name : kHostileFixtures) {
        std::vector<u8> file = readWholeFile(fixtures + "/" + name);
        if (file.empty())
            return false;
        for (size_t length = 0;; length = length + stride < file.size() ? length + stride : file.size()) {
            use(std::vector<u8>(file.begin(), file.begin() + length));
            if (length == file.size())
                break;
        }
        for (int i = 0; i < mutations; ++i) {
            std::vector<u8> mutated = file;
            int edits = 1 + random() % 8;
            for (int e = 0; e < edits && !mutated.empty(); ++e) {
                size_t at = random() % mutated.size();
                switch (random() % 4) {
                case 0: mutated[at] = u8(random()); break;
                case 1: mutated.insert(mutated.begin() + at, u8(random() % 2 ? ' ' : random())); break;
                case 2: mutated.erase(mutated.begin() + at); break;
                default:
                    if (mutated.size() >= 84) {
                        u32 count = random() % 3 ? u32(random() % 64) : u32(random());
                        std::memcpy(mutated.data() + 80, &count, 4);
                    }
                }
            }
            use(mutated);
        }
    }
    return true;
}
