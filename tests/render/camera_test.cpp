#include <gtest/gtest.h>

#include <cmath>

#include "render/camera.h"

namespace {

f64 radians(TurnAngle from, TurnAngle to) {
    return f64(i32(to - from)) * (2 * 3.14159265358979323846 / 4294967296.0);
}

f32 dot(const f32 a[3], const f32 b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

f32 length(const f32 v[3]) {
    return std::sqrt(dot(v, v));
}

// Column `i` of the rotation: the camera's right (0), up (1) and backward (2) axes in world space.
void axis(const Camera& camera, int i, f32 out[3]) {
    for (int row = 0; row < 3; ++row)
        out[row] = camera.rotation.m[3 * row + i];
}

}  // namespace

// A new camera looks down at the model from its front right, at the start zoom, unpanned.
TEST(Camera, StartsAboveAndFrontRight) {
    Camera camera = startCamera();
    f32 backward[3];
    axis(camera, 2, backward);
    EXPECT_GT(backward[1], 0.0f) << "above";
    EXPECT_GT(backward[0], 0.0f) << "right";
    EXPECT_GT(backward[2], 0.0f) << "in front";
    EXPECT_NEAR(length(backward), 1.0f, 1e-6f);
    EXPECT_EQ(camera.zoom, kStartZoom);
    EXPECT_EQ(length(camera.pan), 0.0f);

    // A 3-4-12 box has a diagonal of 13: the radius is half of it, and framing it forgets the pan.
    camera.pan[0] = 1;
    const f32 size[3] = {3, 4, 12};
    frameMesh(&camera, size);
    EXPECT_EQ(camera.radius, 6.5f);
    EXPECT_EQ(length(camera.pan), 0.0f);
}

// Turns and pans shrink as the zoom grows; a drag and its way back cancel; the model follows
// the pointer.
TEST(Camera, DragsScaleWithTheZoom) {
    const f32 size[3] = {0.1f, 0.0f, 0.0f};
    const struct { i32 dx, dy; } drags[] = {{100, 0}, {0, -60}, {37, 23}};
    for (const auto& drag : drags) {
        SCOPED_TRACE(testing::Message() << drag.dx << ", " << drag.dy);
        Camera near = startCamera(), far = startCamera();
        far.zoom = 2 * near.zoom;
        turnCamera(&near, drag.dx, drag.dy);
        turnCamera(&far, drag.dx, drag.dy);
        Camera start = startCamera();
        EXPECT_NEAR(radians(start.yaw, far.yaw), radians(start.yaw, near.yaw) / 2, 1e-6);
        EXPECT_NEAR(radians(start.pitch, far.pitch), radians(start.pitch, near.pitch) / 2, 1e-6);
        turnCamera(&near, -drag.dx, -drag.dy);
        EXPECT_LE(std::abs(i32(near.yaw - start.yaw)), 1);
        EXPECT_LE(std::abs(i32(near.pitch - start.pitch)), 1);

        frameMesh(&near, size);
        frameMesh(&far, size);
        panCamera(&near, drag.dx, drag.dy);
        panCamera(&far, drag.dx, drag.dy);
        EXPECT_NEAR(length(far.pan), length(near.pan) / 2, 1e-7f);
        f32 right[3], up[3];
        axis(near, 0, right);
        axis(near, 1, up);
        // The eye moves against the pointer, so the model moves with it: right on screen is
        // +x, down on screen is +y.
        EXPECT_NEAR(dot(near.pan, right) * f32(drag.dx), -std::abs(dot(near.pan, right) * f32(drag.dx)), 1e-9f);
        EXPECT_NEAR(dot(near.pan, up) * f32(drag.dy), std::abs(dot(near.pan, up) * f32(drag.dy)), 1e-9f);
        f32 twice = length(near.pan);
        Camera wide = near;
        wide.radius *= 2;
        wide.pan[0] = wide.pan[1] = wide.pan[2] = 0;
        panCamera(&wide, drag.dx, drag.dy);
        EXPECT_NEAR(length(wide.pan), 2 * twice, 1e-6f) << "a larger model pans proportionally further";
        panCamera(&near, -drag.dx, -drag.dy);
        EXPECT_NEAR(length(near.pan), 0.0f, 1e-7f);
    }
}

// A notch away zooms in, towards zooms out, Flip Zoom swaps them, a notch each way comes back
// to within a percent, and no number of notches passes the limits.
TEST(Camera, WheelZoomsWithinItsLimits) {
    const struct { bool flipped; i32 delta; bool zoomsIn; } notches[] = {
        {false, 120, true}, {false, -120, false}, {true, 120, false}, {true, -120, true}};
    for (const auto& notch : notches) {
        SCOPED_TRACE(testing::Message() << "flipped " << notch.flipped << ", delta " << notch.delta);
        Camera camera = startCamera();
        zoomCamera(&camera, notch.delta, notch.flipped);
        EXPECT_EQ(camera.zoom > kStartZoom, notch.zoomsIn);
        Camera swapped = startCamera();
        zoomCamera(&swapped, -notch.delta, !notch.flipped);
        EXPECT_EQ(swapped.zoom, camera.zoom);
        zoomCamera(&camera, -notch.delta, notch.flipped);
        EXPECT_NEAR(camera.zoom, kStartZoom, 0.01f * kStartZoom);
        for (int i = 0; i < 100; ++i)
            zoomCamera(&camera, notch.delta, notch.flipped);
        EXPECT_EQ(camera.zoom, notch.zoomsIn ? kMaxZoom : kMinZoom);
    }
}
