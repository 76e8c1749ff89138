// Positions to world (metres, Y up) and screen; the eye ray, the world normal and the
// tinted colour go on to the pixel shader. Matrices are packed column-major: register i
// holds row i of the CPU's row-vector matrix, and mul() sums register i times component i.
// The CPU writes the two buffers as EyeConstants and MeshConstants (shader_constants.h).

cbuffer Eye : register(b0)
{
    float4x4 worldToScreen;
    float3 eye_xyzInWorld;
};

cbuffer Mesh : register(b1)
{
    float3x4 objectToWorld;
    float3x3 normalToWorld;
    float3 material_diffuse;
};

struct VertexInput
{
    float3 position : XYZ;
    float3 normal : NRM;
    float4 colour : CLR;
};

struct PixelInput
{
    float4 position : SV_Position;
    float3 eyeToPoint : Texcoord0;
    float3 normal : Texcoord1;
    float3 colour : Texcoord2;
};

PixelInput main(VertexInput input)
{
    float3 world = mul(objectToWorld, float4(input.position, 1.0));
    PixelInput output;
    output.position = mul(worldToScreen, float4(world, 1.0));
    output.eyeToPoint = world - eye_xyzInWorld;
    output.normal = mul(normalToWorld, input.normal);
    output.colour = input.colour.rgb * material_diffuse;
    return output;
}
