#include <windows.h>
#include <d3dcompiler.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "render/shader_constants.h"
#include "render/shaders.h"
#include "tools/dxbc.h"

static std::vector<uint8_t> compileNow(const std::string& source, const char* profile) {
    static pD3DCompile compile = reinterpret_cast<pD3DCompile>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"d3dcompiler_47.dll"), "D3DCompile")));
    ID3DBlob* code = nullptr;
    std::vector<uint8_t> bytes;
    if (SUCCEEDED(compile(source.data(), source.size(), "test", nullptr, nullptr, "main", profile, 0, 0, &code, nullptr)) && code) {
        const uint8_t* p = static_cast<const uint8_t*>(code->GetBufferPointer());
        bytes.assign(p, p + code->GetBufferSize());
        code->Release();
    }
    return bytes;
}

// The compiler's own checksums, over shaders whose containers end at every kind of last
// block, agree with ours.
TEST(Shaders, ChecksumAgreesWithTheCompiler) {
    const char* sources[][2] = {
        {"float4 main(float4 p : XYZ) : SV_Position { return p; }", "vs_4_0"},
        {"float4 main() : SV_TARGET { return float4(1, 0, 0, 1); }", "ps_4_0"},
        {"cbuffer C { float4x4 m; }; float4 main(float3 p : XYZ) : SV_Position { return mul(m, float4(p, 1)); }", "vs_4_0"},
        {"float4 main(nointerpolation float3 c : Texcoord0, float3 d : Texcoord1) : SV_TARGET "
         "{ return float4(c * normalize(d), 1); }", "ps_4_0"},
    };
    for (auto& [source, profile] : sources) {
        std::vector<uint8_t> bytes = compileNow(source, profile);
        ASSERT_FALSE(bytes.empty()) << source;
        EXPECT_TRUE(dxbcChecksumValid(bytes)) << source;
        std::vector<uint8_t> broken = bytes;
        broken.back() ^= 1;
        EXPECT_FALSE(dxbcChecksumValid(broken));
    }
}

TEST(Shaders, EmbeddedBytecodeDeclaresItsInterpolation) {
    std::vector<uint8_t> vertex(kVertexShaderBytes, kVertexShaderBytes + sizeof kVertexShaderBytes);
    std::vector<uint8_t> pixel(kPixelShaderBytes, kPixelShaderBytes + sizeof kPixelShaderBytes);
    EXPECT_TRUE(dxbcChecksumValid(vertex));
    EXPECT_TRUE(dxbcChecksumValid(pixel));
    std::vector<int> modes = dxbcPixelInputModes(pixel);
    // The eye vector is interpolated at the centroid; the normal and the colour are the face's.
    const int expected[] = {kInterpolationLinearCentroid, kInterpolationConstant, kInterpolationConstant};
    for (int texcoord = 0; texcoord < 3; ++texcoord) {
        int input = dxbcInputRegister(pixel, "Texcoord", texcoord);
        ASSERT_TRUE(input >= 0 && size_t(input) < modes.size()) << texcoord;
        EXPECT_EQ(modes[input], expected[texcoord]) << texcoord;
    }
    for (const char* semantic : {"XYZ", "NRM", "CLR"})
        EXPECT_GE(dxbcInputRegister(vertex, semantic, 0), 0) << semantic;
}

// The records the frame writes are exactly as large as the vertex shader's constant buffers,
// read from the reflection chunk: a constant buffer of the header (name, variable count and
// offset, size, flags, type) at the offset its second word gives, the name at its own offset.
TEST(Shaders, ConstantRecordsMatchTheShadersBuffers) {
    std::vector<uint8_t> vertex(kVertexShaderBytes, kVertexShaderBytes + sizeof kVertexShaderBytes);
    uint32_t size = 0;
    const uint8_t* reflection = dxbcChunk(vertex, "RDEF", &size);
    ASSERT_NE(reflection, nullptr);
    auto word = [&](uint32_t at) { uint32_t w; memcpy(&w, reflection + at, 4); return w; };
    std::map<std::string, uint32_t> sizes;
    for (uint32_t i = 0, count = word(0); i < count; ++i) {
        uint32_t desc = word(4) + 24 * i;
        ASSERT_LE(desc + 24, size);
        sizes[reinterpret_cast<const char*>(reflection + word(desc))] = word(desc + 12);
    }
    EXPECT_EQ(sizes, (std::map<std::string, uint32_t>{{"Eye", sizeof(EyeConstants)}, {"Mesh", sizeof(MeshConstants)}}));
}
