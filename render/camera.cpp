#include "render/camera.h"

namespace {

// 683565248 is 2^32 / 2 pi rounded to single precision. The 64-bit conversion keeps a long
// drag's large product exact before it wraps to the angle's 32 bits.
TurnAngle turnUnits(f32 radians) {
    return TurnAngle(u64(_mm_cvtss_si64(_mm_set_ss(radians * 683565248.0f))));
}

void updateRotation(Camera* camera) {
    RotationRows rows = rotationFromPitchYaw(camera->pitch, camera->yaw);
    for (int i = 0; i < 3; ++i) {
        f32 lanes[4];
        _mm_storeu_ps(lanes, rows.rows[i]);
        for (int j = 0; j < 3; ++j)
            camera->rotation.m[3 * i + j] = lanes[j];
    }
}

}  // namespace

Camera startCamera() {
    Camera camera = {};
    camera.pitch = turnFromRadians(-0.5f);
    camera.yaw = turnFromRadians(0.5f);
    camera.zoom = kStartZoom;
    updateRotation(&camera);
    return camera;
}

void frameMesh(Camera* camera, const f32 size[3]) {
    camera->pan[0] = camera->pan[1] = camera->pan[2] = 0.0f;
    f32 squared = size[0] * size[0] + size[1] * size[1] + size[2] * size[2];
    camera->radius = 0.5f * _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(squared)));
}

void turnCamera(Camera* camera, i32 dx, i32 dy) {
    f32 k = -0.04f / camera->zoom;  // radians per pixel
    camera->yaw += turnUnits(k * f32(dx));
    camera->pitch += turnUnits(k * f32(dy));
    updateRotation(camera);
}

void panCamera(Camera* camera, i32 dx, i32 dy) {
    // Metres per pixel. Columns 0 and 1 of the rotation are the camera's right and up axes.
    f32 k = camera->radius * -0.0135f / camera->zoom;
    const f32* m = camera->rotation.m;
    for (int i = 0; i < 3; ++i)
        camera->pan[i] += k * f32(dx) * m[3 * i] + k * f32(-dy) * m[3 * i + 1];
}

void zoomCamera(Camera* camera, i32 delta, bool flipped) {
    // A notch multiplies the zoom by 1 + 1/16 or 1 - 1/16.
    f32 d = flipped ? f32(delta) : -f32(delta);
    f32 zoom = (1.0f - d / 1920.0f) * camera->zoom;
    camera->zoom = zoom < kMinZoom ? kMinZoom : zoom > kMaxZoom ? kMaxZoom : zoom;
}
