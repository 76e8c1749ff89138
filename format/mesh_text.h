// The mesh check in one line, as the console tool and the viewer show it:
// "closed, 1 shell, volume 12.34 cm³, area 56.78 cm²" or "12 open edges, 3 non-manifold
// edges, 2 shells, area 56.78 cm²". Numbers as the user's locale writes them; area and
// volume in the unit the dimensions line chooses for the model's largest side.
#pragma once

#include "format/length_text.h"
#include "stl/mesh_check.h"

// Writes no terminator; returns the position after the text. `size` is the model's box in
// metres. `out` holds at least kMeshTextUnits units.
enum : u32 { kMeshTextUnits = 2 * kLengthTextUnits + 256 };
Utf16* writeMeshText(const MeshCheck* check, const f32 size[3], Utf16* out);

// The unit as the decimal it stands for (0.001f read back as 0.001, not 0.0010000000475):
// the float's shortest digits, turned into the nearest double. Areas and volumes in metres
// then come out as a user writes them.
f64 decimalUnit(f32 metresPerUnit);
