#include "tools/dxbc.h"

#include <cmath>
#include <cstring>

namespace {

uint32_t rotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// The MD5 compression of one 64-byte block (RFC 1321).
void md5Block(uint32_t state[4], const uint32_t block[16]) {
    static const int shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                   5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                   4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                   6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    static uint32_t sines[64];
    if (!sines[0])
        for (int i = 0; i < 64; ++i)
            sines[i] = uint32_t(std::fabs(std::sin(double(i + 1))) * 4294967296.0);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        uint32_t next = b + rotateLeft(a + f + sines[i] + block[g], shifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void loadBlock(const uint8_t* bytes, uint32_t block[16]) {
    std::memcpy(block, bytes, 64);  // little-endian words
}

uint32_t read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

void dxbcChecksum(const uint8_t* container, size_t size, uint32_t out[4]) {
    const uint8_t* data = container + 20;
    size_t length = size - 20;
    uint32_t bits = uint32_t(length * 8);
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    uint32_t block[16];
    size_t full = length & ~size_t(63);
    for (size_t i = 0; i < full; i += 64) {
        loadBlock(data + i, block);
        md5Block(state, block);
    }
    size_t last = length - full;
    uint8_t tail[64] = {};
    if (last >= 56) {
        std::memcpy(tail, data + full, last);
        tail[last] = 0x80;
        loadBlock(tail, block);
        md5Block(state, block);
        std::memset(block, 0, sizeof block);
        block[0] = bits;
        block[15] = (bits >> 2) | 1;
        md5Block(state, block);
    } else {
        std::memcpy(tail, &bits, 4);
        std::memcpy(tail + 4, data + full, last);
        tail[4 + last] = 0x80;
        loadBlock(tail, block);
        block[15] = (bits >> 2) | 1;
        md5Block(state, block);
    }
    std::memcpy(out, state, 16);
}

bool dxbcChecksumValid(const std::vector<uint8_t>& container) {
    if (container.size() < 32 || std::memcmp(container.data(), "DXBC", 4) != 0)
        return false;
    uint32_t sum[4];
    dxbcChecksum(container.data(), container.size(), sum);
    return std::memcmp(sum, container.data() + 4, 16) == 0;
}

void dxbcFixChecksum(std::vector<uint8_t>& container) {
    uint32_t sum[4];
    dxbcChecksum(container.data(), container.size(), sum);
    std::memcpy(container.data() + 4, sum, 16);
}

const uint8_t* dxbcChunk(const std::vector<uint8_t>& container, const char fourcc[4], uint32_t* size) {
    if (container.size() < 32)
        return nullptr;
    uint32_t count = read32(container.data() + 28);
    for (uint32_t i = 0; i < count && 32 + 4 * i + 4 <= container.size(); ++i) {
        uint32_t offset = read32(container.data() + 32 + 4 * i);
        if (offset + 8 > container.size())
            return nullptr;
        if (std::memcmp(container.data() + offset, fourcc, 4) == 0) {
            *size = read32(container.data() + offset + 4);
            return container.data() + offset + 8;
        }
    }
    return nullptr;
}

int dxbcInputRegister(const std::vector<uint8_t>& container, const std::string& semantic, uint32_t index) {
    uint32_t size = 0;
    const uint8_t* chunk = dxbcChunk(container, "ISGN", &size);
    if (!chunk || size < 8)
        return -1;
    uint32_t count = read32(chunk);
    for (uint32_t i = 0; i < count && 8 + 24 * (i + 1) <= size; ++i) {
        const uint8_t* element = chunk + 8 + 24 * i;
        uint32_t nameOffset = read32(element);
        if (nameOffset < size && semantic == reinterpret_cast<const char*>(chunk + nameOffset) && read32(element + 4) == index)
            return int(read32(element + 16));
    }
    return -1;
}

namespace {

// Calls visit(token pointer) for each dcl_input_ps of the shader program.
template <typename Visit>
void forEachPixelInput(uint8_t* program, uint32_t size, Visit visit) {
    const uint32_t kDclInputPs = 0x62;
    uint32_t words = size / 4;
    uint32_t* tokens = reinterpret_cast<uint32_t*>(program);
    for (uint32_t i = 2; i < words;) {
        uint32_t opcode = tokens[i] & 0x7FF;
        uint32_t length = (tokens[i] >> 24) & 0x7F;
        if (opcode == 0x35 /* customdata */ && i + 1 < words)
            length = tokens[i + 1];
        if (length == 0)
            break;
        if (opcode == kDclInputPs && i + 2 < words) {
            uint32_t operand = i + 1;
            while ((tokens[operand] & 0x80000000u) && operand + 1 < words)  // extended operand tokens
                ++operand;
            visit(&tokens[i], int(tokens[operand + 1]));
        }
        i += length;
    }
}

uint8_t* programOf(std::vector<uint8_t>& container, uint32_t* size) {
    const uint8_t* program = dxbcChunk(container, "SHDR", size);
    if (!program)
        program = dxbcChunk(container, "SHEX", size);
    return const_cast<uint8_t*>(program);
}

}  // namespace

std::vector<int> dxbcPixelInputModes(const std::vector<uint8_t>& container) {
    std::vector<uint8_t> copy = container;
    uint32_t size = 0;
    uint8_t* program = programOf(copy, &size);
    std::vector<int> modes;
    if (!program)
        return modes;
    forEachPixelInput(program, size, [&](uint32_t* token, int reg) {
        if (reg >= 0 && reg < 64) {
            if (modes.size() <= size_t(reg))
                modes.resize(reg + 1, -1);
            modes[reg] = int((*token >> 11) & 0xF);
        }
    });
    return modes;
}

bool dxbcSetPixelInputMode(std::vector<uint8_t>& container, int reg, int mode) {
    uint32_t size = 0;
    uint8_t* program = programOf(container, &size);
    bool found = false;
    if (program) {
        forEachPixelInput(program, size, [&](uint32_t* token, int r) {
            if (r == reg) {
                *token = (*token & ~(0xFu << 11)) | (uint32_t(mode) << 11);
                found = true;
            }
        });
    }
    return found;
}
