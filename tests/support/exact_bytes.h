// Test input in an exact-size heap block: in the native build the sanitizers catch a read
// one byte past its end.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diag/base.h"

struct ExactBytes {
    std::shared_ptr<u8[]> bytes;  // shared: results that point into the input keep it alive
    u64 size;

    explicit ExactBytes(const std::string& text) : bytes(new u8[text.size()]), size(text.size()) {
        std::memcpy(bytes.get(), text.data(), text.size());
    }
    explicit ExactBytes(const std::vector<u8>& data) : ExactBytes(std::string(data.begin(), data.end())) {}
    const u8* begin() const { return bytes.get(); }
    const u8* end() const { return bytes.get() + size; }
};
