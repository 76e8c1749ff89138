// Shader model 4 bytecode containers (DXBC): the checksum Direct3D verifies, the chunks,
// and the interpolation mode of pixel shader inputs. Used by the build's shader compiler
// and by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// MD5 of the bytes after the 20-byte header, with the container's own final block: the bit
// count first, and (bits >> 2) | 1 in the last word.
void dxbcChecksum(const uint8_t* container, size_t size, uint32_t out[4]);
bool dxbcChecksumValid(const std::vector<uint8_t>& container);
void dxbcFixChecksum(std::vector<uint8_t>& container);

// A chunk's data ("ISGN", "SHDR", ...) or null; `size` receives its byte count.
const uint8_t* dxbcChunk(const std::vector<uint8_t>& container, const char fourcc[4], uint32_t* size);

// The input register of a semantic in the input signature, or -1.
int dxbcInputRegister(const std::vector<uint8_t>& container, const std::string& semantic, uint32_t index);

// D3D10_SB_INTERPOLATION_MODE of each dcl_input_ps, by register (-1: none declared).
std::vector<int> dxbcPixelInputModes(const std::vector<uint8_t>& container);

// Sets the interpolation mode of the dcl_input_ps of `reg`; false when there is none.
bool dxbcSetPixelInputMode(std::vector<uint8_t>& container, int reg, int mode);

enum : int {
    kInterpolationConstant = 1,
    kInterpolationLinear = 2,
    kInterpolationLinearCentroid = 3,
};
