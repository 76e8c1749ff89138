// The vertex shader's constant buffers (vertex_shader.hlsl) as records, field for field.
// A cbuffer is packed in 16-byte registers. Matrices are packed column-major: register i
// holds column i of the HLSL matrix, which is row i of the CPU's row-vector matrix, so the
// rows below are written as the CPU holds them. A float3 takes the first three lanes of a
// register; the shader never reads the fourth.
#pragma once

#include "diag/base.h"

typedef f32 ShaderRegister[4];

// cbuffer Eye : register(b0)
struct EyeConstants {
    ShaderRegister worldToScreen[4];  // float4x4
    ShaderRegister eyeInWorld;        // float3 eye_xyzInWorld
};

// cbuffer Mesh : register(b1)
struct MeshConstants {
    ShaderRegister objectToWorld[4];  // float3x4: the images of the three axes, then the translation
    ShaderRegister normalToWorld[3];  // float3x3
    ShaderRegister diffuse;           // float3 material_diffuse
};

// Direct3D takes constant buffers in whole registers; these sizes are the shader's.
static_assert(sizeof(EyeConstants) == 5 * 16, "cbuffer Eye is five registers");
static_assert(sizeof(MeshConstants) == 8 * 16, "cbuffer Mesh is eight registers");
