// The camera of a 3D view: the direction it looks from, how far and how wide, and how a
// drag or a wheel notch moves it. Plain arithmetic without Windows: the view window feeds
// it pointer movements and wheel deltas, the frame reads it, and a picture without a
// window starts from the same camera a new view starts from.
#pragma once

#include "render/math.h"

struct Camera {
    TurnAngle pitch;
    TurnAngle yaw;
    Rotation3 rotation;  // rotationFromPitchYaw(pitch, yaw), kept in step by turnCamera
    f32 zoom;            // cot(half the vertical field of view), kMinZoom to kMaxZoom
    f32 pan[3];          // metres from the mesh's centre to the point looked at
    f32 radius;          // metres: half the mesh's diagonal; the eye stands five of them away
};

constexpr f32 kStartZoom = 4.75f;
constexpr f32 kMinZoom = 2.0f;
constexpr f32 kMaxZoom = 64.0f;

// Seen from above and from the front right, so that a model's top, front and right sides
// show; at kStartZoom; no pan; radius 0 until a mesh is framed.
Camera startCamera();

// Frames a mesh whose bounding box measures `size` metres: the pan resets, the radius
// follows the box, the direction and the zoom stay.
void frameMesh(Camera* camera, const f32 size[3]);

// A drag of (dx, dy) pixels. Turning spins the model with the pointer; panning moves it
// with the pointer. Both move less the more the view is zoomed in.
void turnCamera(Camera* camera, i32 dx, i32 dy);
void panCamera(Camera* camera, i32 dx, i32 dy);

// A wheel turn of `delta` (120 a notch, positive away from the user): away zooms in,
// towards zooms out, `flipped` swaps the two. The zoom stays within its limits.
void zoomCamera(Camera* camera, i32 delta, bool flipped);
