#include "render/math.h"

TurnAngle turnFromRadians(f32 radians) {
    // 683565248 is 2^32 / 2 pi rounded to single precision; the product rounds to nearest.
    f32 units = radians * 683565248.0f;
    return TurnAngle(i32(_mm_cvtss_si32(_mm_set_ss(units))));
}

CosSin sinCos(TurnAngle a) {
    // Fold each lane to a signed quarter turn at most: cos t = sin(quarter - t), and sin is
    // mirrored about the quarter turns.
    u32 cosArgument = a < 0x80000000u ? 0x40000000u - a : a + 0x40000000u;
    u32 sinArgument = (a - 0x40000000u) >= 0x80000000u ? a : 0x80000000u - a;
    __m128d x = _mm_setr_pd(f64(i32(cosArgument)), f64(i32(sinArgument)));

    // The odd Taylor coefficients of sin(k1 x), k1 = 2 pi / 2^32, slightly adjusted.
    const __m128d k1 = _mm_set1_pd(1.4629180792671596e-09);
    const __m128d k3 = _mm_set1_pd(-5.2180564243553265e-28);
    const __m128d k5 = _mm_set1_pd(5.583657727552662e-47);
    const __m128d k7 = _mm_set1_pd(-2.845177918016901e-66);
    const __m128d k9 = _mm_set1_pd(8.456885339184503e-86);
    const __m128d k11 = _mm_set1_pd(-1.6438192896934818e-105);
    const __m128d k13 = _mm_set1_pd(2.1628315345521565e-125);
    __m128d q = _mm_mul_pd(x, x);
    __m128d low = _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(k7, q), k5), q), k3), q), k1);
    __m128d high = _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(k13, q), k11), q), k9);
    __m128d q2 = _mm_mul_pd(q, q);
    __m128d x8 = _mm_mul_pd(q2, q2);
    __m128d s = _mm_mul_pd(x, _mm_add_pd(low, _mm_mul_pd(high, x8)));
    __m128 rounded = _mm_cvtpd_ps(s);
    CosSin result;
    result.cosine = _mm_cvtss_f32(rounded);
    result.sine = _mm_cvtss_f32(_mm_shuffle_ps(rounded, rounded, 1));
    return result;
}

RotationRows rotationFromPitchYaw(TurnAngle pitch, TurnAngle yaw) {
    CosSin p = sinCos(pitch);
    CosSin y = sinCos(yaw);
    RotationRows r;
    r.rows[0] = float4(y.cosine, p.sine * y.sine, p.cosine * y.sine, 0.0f);
    r.rows[1] = float4(0.0f, p.cosine, -p.sine, 0.0f);
    r.rows[2] = float4(-y.sine, p.sine * y.cosine, p.cosine * y.cosine, 0.0f);
    return r;
}

static Float4 lane(Float4 v, int i) {
    switch (i) {
    case 0: return _mm_shuffle_ps(v, v, 0x00);
    case 1: return _mm_shuffle_ps(v, v, 0x55);
    default: return _mm_shuffle_ps(v, v, 0xAA);
    }
}

Matrix4 multiplyAffine(const Matrix4& a, const Matrix4& b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        Float4 row = a.rows[i];
        Float4 sum = _mm_add_ps(_mm_add_ps(_mm_mul_ps(lane(row, 0), b.rows[0]), _mm_mul_ps(lane(row, 1), b.rows[1])),
                                _mm_mul_ps(lane(row, 2), b.rows[2]));
        r.rows[i] = i == 3 ? _mm_add_ps(sum, b.rows[3]) : sum;
    }
    return r;
}
