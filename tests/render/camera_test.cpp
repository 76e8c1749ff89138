#include <gtest/gtest.h>

#include <cmath>

#include "render/camera.h"

namespace {

f64 turned(TurnAngle from, TurnAngle to) {
    return f64(i32(to - from));
}

// Column `i` of the rotation (the camera's right, up, backward axes) dotted with `v`.
f32 along(const Camera& camera, int i, const f32 v[3]) {
    const f32* m = camera.rotation.m;
    return m[i] * v[0] + m[3 + i] * v[1] + m[6 + i] * v[2];
}

f32 length(const f32 v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

}  // namespace

// A new camera looks down at the model from its front right; framing a 3-4-12 box (diagonal
// 13) sets the radius to half of it and forgets the pan.
TEST(Camera, StartsAboveFrontRightAndFramesTheBox) {
    Camera camera = startCamera();
    const f32 x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    EXPECT_GT(along(camera, 2, x), 0.0f);
    EXPECT_GT(along(camera, 2, y), 0.0f);
    EXPECT_GT(along(camera, 2, z), 0.0f);
    EXPECT_EQ(camera.zoom, kStartZoom);
    camera.pan[0] = 1;
    const f32 size[3] = {3, 4, 12};
    frameMesh(&camera, size);
    EXPECT_EQ(camera.radius, 6.5f);
    EXPECT_EQ(length(camera.pan), 0.0f);
}

// Turns and pans halve when the zoom doubles, pans double with the model's size, a drag
// and its way back cancel, and the model follows the pointer (screen y grows downward).
TEST(Camera, DragsFollowThePointerLessTheMoreZoomed) {
    const struct { i32 dx, dy; } drags[] = {{100, 0}, {0, -60}, {37, 23}};
    const f32 size[3] = {0.1f, 0, 0};
    for (const auto& drag : drags) {
        SCOPED_TRACE(testing::Message() << drag.dx << ", " << drag.dy);
        const Camera start = startCamera();
        Camera near = start, far = start, big = start;
        far.zoom = 2 * start.zoom;
        turnCamera(&near, drag.dx, drag.dy);
        turnCamera(&far, drag.dx, drag.dy);
        EXPECT_NEAR(turned(start.yaw, far.yaw), turned(start.yaw, near.yaw) / 2, 1.0);
        EXPECT_NEAR(turned(start.pitch, far.pitch), turned(start.pitch, near.pitch) / 2, 1.0);
        turnCamera(&near, -drag.dx, -drag.dy);
        EXPECT_NEAR(turned(start.yaw, near.yaw), 0.0, 1.0);
        EXPECT_NEAR(turned(start.pitch, near.pitch), 0.0, 1.0);

        frameMesh(&near, size);
        frameMesh(&far, size);
        const f32 twice[3] = {0.2f, 0, 0};
        frameMesh(&big, twice);
        for (Camera* camera : {&near, &far, &big})
            panCamera(camera, drag.dx, drag.dy);
        EXPECT_NEAR(length(far.pan), length(near.pan) / 2, 1e-7f);
        EXPECT_NEAR(length(big.pan), length(near.pan) * 2, 1e-7f);
        // The eye moves against the pointer, so the model moves with it.
        EXPECT_LE(along(near, 0, near.pan) * f32(drag.dx), 0.0f);
        EXPECT_GE(along(near, 1, near.pan) * f32(drag.dy), 0.0f);
        panCamera(&near, -drag.dx, -drag.dy);
        EXPECT_NEAR(length(near.pan), 0.0f, 1e-7f);
    }
}

// A notch away zooms in, towards zooms out, Flip Zoom swaps the two exactly, a notch each way
// comes back to within a percent, and no number of notches passes the limits.
TEST(Camera, WheelZoomsWithinItsLimits) {
    const struct { bool flipped; i32 delta; bool zoomsIn; } notches[] = {
        {false, 120, true}, {false, -120, false}, {true, 120, false}, {true, -120, true}};
    for (const auto& notch : notches) {
        SCOPED_TRACE(testing::Message() << "flipped " << notch.flipped << ", delta " << notch.delta);
        Camera camera = startCamera(), swapped = startCamera();
        zoomCamera(&camera, notch.delta, notch.flipped);
        zoomCamera(&swapped, -notch.delta, !notch.flipped);
        EXPECT_EQ(camera.zoom > kStartZoom, notch.zoomsIn);
        EXPECT_EQ(swapped.zoom, camera.zoom);
        zoomCamera(&camera, -notch.delta, notch.flipped);
        EXPECT_NEAR(camera.zoom, kStartZoom, 0.01f * kStartZoom);
        for (int i = 0; i < 100; ++i)
            zoomCamera(&camera, notch.delta, notch.flipped);
        EXPECT_EQ(camera.zoom, notch.zoomsIn ? kMaxZoom : kMinZoom);
    }
}
