// Fixed lighting in world space: a key light from above, in front and to the right (L), a
// fill from the sides (|N.x|) and a sky term that brightens upward faces (N.y), with white
// highlights of the same three. The colour is squared to make the sRGB-encoded vertex
// colour roughly linear; the sRGB target encodes the result again on write.

struct PixelInput
{
    float4 position : SV_Position;
    centroid float3 eyeToPoint : Texcoord0;  // centroid: no extrapolation past the triangle's edge
    nointerpolation float3 normal : Texcoord1;  // flat: one normal per facet
    nointerpolation float3 colour : Texcoord2;
};

float4 main(PixelInput input) : SV_TARGET
{
    const float3 L = float3(2.0 / 7.0, 6.0 / 7.0, 3.0 / 7.0);
    float3 V = normalize(input.eyeToPoint);
    float3 N = normalize(input.normal);
    float3 K = input.colour;

    float3 R = V - 2.0 * dot(V, N) * N;
    float s = 0.13125 * max(R.y, 0.0) + 0.07 * saturate(R.y + 1.0) + 0.2625 * abs(R.x) + 0.56875 * max(dot(R, L), 0.0);
    s = min(s, 1.0);
    s *= s;
    s *= s;
    s *= s;
    float d = 0.16 * (0.6 + 0.3 * N.y) + 0.064 * abs(N.x) + 0.64 * max(dot(N, L), 0.0);
    return float4(K * K * d + s, 1.0);
}
