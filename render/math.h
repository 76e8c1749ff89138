// Angles, rotations and transforms of the 3D view. Conventions shared by everything that
// draws: row vectors (p' = p M, rows 0-2 the images of the axes, row 3 the translation,
// A B applies A first); world space right-handed, Y up, in metres; the camera looks along
// its own -Z; clip depth 0 at the near plane, 1 at the far plane.
#pragma once

#include <emmintrin.h>

#include "diag/base.h"

// 2^32 units make one turn. Wrapping arithmetic accumulates mouse movement for ever
// without normalising and without losing precision.
typedef u32 TurnAngle;

TurnAngle turnFromRadians(f32 radians);

// x, y, z, w; where a value has three components, w holds whatever and nobody reads it.
typedef __m128 Float4;

struct Matrix4 {
    Float4 rows[4];
};

struct Rotation3 {
    f32 m[9];  // three rows of three
};

struct CosSin {
    f32 cosine;
    f32 sine;
};

// Both from one polynomial in double precision, within 3e-8 over the whole turn; exact at
// the quarter turns.
CosSin sinCos(TurnAngle angle);

struct RotationRows {
    Float4 rows[3];  // w = 0
};

// Rotation about Y by the yaw after rotation about X by the pitch (column-vector reading):
// world to camera, columns 0, 1, 2 the camera's right, up and backward axes.
RotationRows rotationFromPitchYaw(TurnAngle pitch, TurnAngle yaw);

// A B for an affine A (its w lanes ignored, its fourth column taken as 0, 0, 0, 1) and a
// general B.
Matrix4 multiplyAffine(const Matrix4& a, const Matrix4& b);

inline Float4 float4(f32 x, f32 y, f32 z, f32 w) {
    return _mm_setr_ps(x, y, z, w);
}
