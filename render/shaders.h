#pragma once

// The bytecode of both shaders, compiled from vertex_shader.hlsl and pixel_shader.hlsl
// when the program is built: kVertexShaderBytes and kPixelShaderBytes.
#include "generated/render/shaders.h"
