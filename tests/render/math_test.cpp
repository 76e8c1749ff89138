#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "render/math.h"

// Quarter turns are exact (the accuracy test below allows a few units in the last place).
TEST(Math, QuarterTurnsAreExact) {
    const std::tuple<TurnAngle, f32, f32> cases[] = {{0, 1, 0}, {0x40000000u, 0, 1}, {0x80000000u, -1, 0}, {0xC0000000u, 0, -1}};
    for (const auto& [angle, cosine, sine] : cases)
        EXPECT_EQ(std::make_pair(sinCos(angle).cosine, sinCos(angle).sine), std::make_pair(cosine, sine)) << std::hex << angle;
    EXPECT_EQ(turnFromRadians(-0.5f), 0xeba0cfa0u);
    EXPECT_EQ(turnFromRadians(0.5f), 341782624u);
}

TEST(Math, SinCosAccuracyOverTheWholeTurn) {
    double worst = 0;
    for (u64 a = 0; a < (u64(1) << 32); a += 4099) {
        CosSin r = sinCos(TurnAngle(a));
        double angle = double(a) * (2 * 3.14159265358979323846 / 4294967296.0);
        worst = std::fmax(worst, std::fabs(r.cosine - std::cos(angle)));
        worst = std::fmax(worst, std::fabs(r.sine - std::sin(angle)));
    }
    EXPECT_LT(worst, 3e-8);
}

// Rotation rows are orthonormal; an affine product ignores the w lanes of its left rows,
// which rows taken from a Rotation3 leave undefined.
TEST(Math, RotationAndAffineProducts) {
    RotationRows r = rotationFromPitchYaw(0xeba0cfa0u, 341782624u);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            f32 dot = 0;
            for (int k = 0; k < 3; ++k)
                dot += r.rows[i][k] * r.rows[j][k];
            EXPECT_NEAR(dot, i == j ? 1.0f : 0.0f, 1e-6f);
        }

    Matrix4 b = {{float4(1, 2, 3, 4), float4(5, 6, 7, 8), float4(9, 10, 11, 12), float4(13, 14, 15, 16)}};
    Matrix4 clean = {{float4(1, 0, 2, 0), float4(0, 3, 0, 0), float4(4, 0, 0, 0), float4(1, 1, 1, 1)}};
    Matrix4 garbage = {{float4(1, 0, 2, NAN), float4(0, 3, 0, NAN), float4(4, 0, 0, NAN), float4(1, 1, 1, NAN)}};
    Matrix4 expected = multiplyAffine(clean, b), withGarbage = multiplyAffine(garbage, b);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(withGarbage.rows[i][j], expected.rows[i][j]);
    // Row 0 = 1 * b0 + 2 * b2; row 3 = b0 + b1 + b2 + b3.
    EXPECT_EQ(expected.rows[0][0], 19.0f);
    EXPECT_EQ(expected.rows[3][3], 40.0f);
}
