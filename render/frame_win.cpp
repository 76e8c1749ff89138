#include "render/frame_win.h"

#include "diag/messages.h"
#include "render/shader_constants.h"

// Linear value of each 8-bit sRGB code (IEC 61966-2-1), made by the transfer function in
// double precision and rounded to single.
extern const f32 srgbToLinear[256] = {
    0.0f, 0.000303526991f, 0.000607053982f, 0.000910580973f, 0.00121410796f, 0.00151763496f, 0.00182116195f, 0.00212468882f,
    0.00242821593f, 0.0027317428f, 0.00303526991f, 0.00334653584f, 0.00367650739f, 0.00402471703f, 0.00439144205f, 0.00477695325f,
    0.00518151652f, 0.00560539169f, 0.00604883302f, 0.00651209056f, 0.00699541019f, 0.00749903219f, 0.00802319311f, 0.00856812578f,
    0.00913405884f, 0.00972121768f, 0.010329823f, 0.0109600937f, 0.0116122449f, 0.012286488f, 0.0129830325f, 0.0137020834f,
    0.0144438436f, 0.0152085144f, 0.0159962941f, 0.0168073755f, 0.0176419541f, 0.01850022f, 0.0193823613f, 0.0202885624f,
    0.0212190095f, 0.0221738853f, 0.0231533665f, 0.0241576321f, 0.0251868591f, 0.0262412224f, 0.0273208916f, 0.02842604f,
    0.0295568351f, 0.0307134446f, 0.0318960324f, 0.0331047662f, 0.0343398079f, 0.0356013142f, 0.0368894488f, 0.0382043719f,
    0.0395462364f, 0.0409151986f, 0.0423114114f, 0.043735031f, 0.045186203f, 0.0466650873f, 0.0481718257f, 0.0497065671f,
    0.0512694567f, 0.0528606474f, 0.054480277f, 0.0561284907f, 0.0578054301f, 0.0595112368f, 0.0612460524f, 0.0630100146f,
    0.064803265f, 0.0666259378f, 0.0684781671f, 0.0703600943f, 0.0722718537f, 0.0742135718f, 0.0761853829f, 0.078187421f,
    0.0802198201f, 0.0822827071f, 0.0843762085f, 0.0865004584f, 0.0886555836f, 0.0908417106f, 0.0930589661f, 0.0953074694f,
    0.097587347f, 0.0998987257f, 0.102241732f, 0.104616486f, 0.107023105f, 0.10946171f, 0.111932427f, 0.114435375f,
    0.116970666f, 0.119538426f, 0.122138776f, 0.124771819f, 0.127437681f, 0.130136475f, 0.13286832f, 0.135633335f,
    0.138431609f, 0.141263291f, 0.144128472f, 0.147027269f, 0.149959788f, 0.152926147f, 0.155926466f, 0.158960834f,
    0.162029371f, 0.165132195f, 0.168269396f, 0.171441108f, 0.174647406f, 0.177888423f, 0.18116425f, 0.18447499f,
    0.187820777f, 0.191201687f, 0.194617838f, 0.198069319f, 0.20155625f, 0.205078736f, 0.208636865f, 0.212230757f,
    0.215860501f, 0.219526201f, 0.223227963f, 0.226965874f, 0.230740055f, 0.23455058f, 0.238397568f, 0.242281124f,
    0.246201321f, 0.25015828f, 0.254152089f, 0.258182853f, 0.262250662f, 0.266355604f, 0.270497799f, 0.274677306f,
    0.278894275f, 0.283148736f, 0.287440836f, 0.291770637f, 0.296138257f, 0.300543785f, 0.304987311f, 0.309468925f,
    0.313988715f, 0.318546772f, 0.323143214f, 0.327778101f, 0.332451522f, 0.337163627f, 0.341914415f, 0.346704066f,
    0.351532608f, 0.356400132f, 0.361306787f, 0.366252601f, 0.371237695f, 0.376262128f, 0.38132602f, 0.386429429f,
    0.391572475f, 0.396755219f, 0.401977777f, 0.407240212f, 0.412542611f, 0.417885065f, 0.423267663f, 0.428690493f,
    0.434153646f, 0.439657182f, 0.445201188f, 0.450785786f, 0.456411034f, 0.462076992f, 0.467783809f, 0.473531485f,
    0.479320168f, 0.48514995f, 0.491020858f, 0.496932983f, 0.502886474f, 0.50888133f, 0.514917672f, 0.520995557f,
    0.527115107f, 0.533276379f, 0.539479494f, 0.545724452f, 0.55201143f, 0.558340371f, 0.564711511f, 0.571124852f,
    0.577580452f, 0.584078431f, 0.590618849f, 0.597201765f, 0.603827357f, 0.610495567f, 0.617206573f, 0.623960376f,
    0.630757153f, 0.637596846f, 0.644479692f, 0.651405632f, 0.658374846f, 0.665387273f, 0.672443151f, 0.679542482f,
    0.686685324f, 0.693871737f, 0.701101899f, 0.708375752f, 0.715693474f, 0.723055124f, 0.730460763f, 0.73791039f,
    0.745404184f, 0.752942204f, 0.760524511f, 0.768151164f, 0.775822222f, 0.783537805f, 0.791297913f, 0.799102724f,
    0.806952238f, 0.814846575f, 0.822785735f, 0.830769897f, 0.838799f, 0.846873224f, 0.854992628f, 0.863157213f,
    0.871367097f, 0.8796224f, 0.887923121f, 0.896269381f, 0.904661179f, 0.913098633f, 0.921581864f, 0.930110872f,
    0.938685715f, 0.947306514f, 0.955973327f, 0.964686275f, 0.973445296f, 0.982250571f, 0.991102099f, 1.0f,
};

namespace {

void setRegister(ShaderRegister out, f32 x, f32 y, f32 z, f32 w) {
    out[0] = x;
    out[1] = y;
    out[2] = z;
    out[3] = w;
}

void writeEyeConstants(EyeConstants* out, const Rotation3* rotation, const f32 eye[3], const Matrix4& projection) {
    const f32* m = rotation->m;
    Matrix4 worldToEye;
    for (int i = 0; i < 3; ++i)
        worldToEye.rows[i] = float4(m[3 * i], m[3 * i + 1], m[3 * i + 2], 0.0f);
    f32 translation[3];
    for (int j = 0; j < 3; ++j)
        translation[j] = -(eye[0] * m[j] + eye[1] * m[3 + j] + eye[2] * m[6 + j]);
    worldToEye.rows[3] = float4(translation[0], translation[1], translation[2], 1.0f);
    Matrix4 worldToScreen = multiplyAffine(worldToEye, projection);
    for (int i = 0; i < 4; ++i)
        _mm_storeu_ps(out->worldToScreen[i], worldToScreen.rows[i]);
    setRegister(out->eyeInWorld, eye[0], eye[1], eye[2], 0.0f);
}

void writeMeshConstants(MeshConstants* out, const GpuMesh* mesh, bool yUp) {
    f32 s = mesh->metresPerUnit;
    // A Z-up file's (x, y, z) lands at (x, z, -y): a proper rotation, so facets keep their
    // winding. The normal rows are the position rows over their squared length.
    setRegister(out->objectToWorld[0], s, 0, 0, 0);
    setRegister(out->normalToWorld[0], 1 / s, 0, 0, 0);
    if (yUp) {
        setRegister(out->objectToWorld[1], 0, s, 0, 0);
        setRegister(out->objectToWorld[2], 0, 0, s, 0);
        setRegister(out->normalToWorld[1], 0, 1 / s, 0, 0);
        setRegister(out->normalToWorld[2], 0, 0, 1 / s, 0);
    } else {
        setRegister(out->objectToWorld[1], 0, 0, -s, 0);
        setRegister(out->objectToWorld[2], 0, s, 0, 0);
        setRegister(out->normalToWorld[1], 0, 0, -1 / s, 0);
        setRegister(out->normalToWorld[2], 0, 1 / s, 0, 0);
    }
    setRegister(out->objectToWorld[3], 0, 0, 0, 1);
    const f32 byteToUnit = 1.0f / 255.0f;
    u32 colour = mesh->colour;
    setRegister(out->diffuse, f32(colour & 0xFF) * byteToUnit, f32((colour >> 8) & 0xFF) * byteToUnit,
                f32((colour >> 16) & 0xFF) * byteToUnit, 1.0f);
}

// Writes a constant buffer through a discarding map; a failure is reported and the buffer
// keeps its contents for this frame.
template <typename Constants, typename Write>
bool updateConstants(ID3D11DeviceContext* context, ID3D11Buffer* buffer, const ReportSink* sink, Write write) {
    D3D11_MAPPED_SUBRESOURCE mapped;
    HRESULT result = context->Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped);
    if (FAILED(result)) {
        reportDirect3DFailure(i32(result), sink);
        return false;
    }
    write(static_cast<Constants*>(mapped.pData));
    context->Unmap(buffer, 0);
    return true;
}

// The target is sRGB: the linear clear value comes out as the system colour unchanged.
void workspaceClearColour(f32 out[4]) {
    COLORREF background = GetSysColor(COLOR_APPWORKSPACE);
    out[0] = srgbToLinear[GetRValue(background)];
    out[1] = srgbToLinear[GetGValue(background)];
    out[2] = srgbToLinear[GetBValue(background)];
    out[3] = 1.0f;
}

// The marks stand out from the object: magenta, or green on an object whose green is its
// weakest colour by far.
u32 markColour(u32 objectColour) {
    u32 red = objectColour & 0xFF, green = (objectColour >> 8) & 0xFF, blue = (objectColour >> 16) & 0xFF;
    return green + 64 < red || green + 64 < blue ? 0xFF00FF00 : 0xFFFF00FF;
}

void drawMarks(ID3D11DeviceContext* context, const Renderer* renderer, const Scene* scene, D3D11_PRIMITIVE_TOPOLOGY topology,
               u32 count, u32 first, const ReportSink* sink) {
    GpuMesh marks = *scene->mesh;
    marks.colour = markColour(marks.colour);
    updateConstants<MeshConstants>(context, renderer->meshConstants, sink,
                                   [&](MeshConstants* out) { writeMeshConstants(out, &marks, scene->yUp); });
    const UINT stride = sizeof(GpuVertex), start = 0;
    context->IASetVertexBuffers(0, 1, &marks.marksBuffer, &stride, &start);
    context->IASetPrimitiveTopology(topology);
    context->Draw(count, first);
}

}  // namespace

void drawFrame(const Renderer* renderer, const FrameTarget* target, const Scene* scene, const Camera* camera,
               const ReportSink* sink) {
    ID3D11DeviceContext* context = renderer->context;
    const GpuMesh* mesh = scene->mesh;
    const bool yUp = scene->yUp;
    const f32 radius = camera->radius, zoom = camera->zoom;
    const u32 width = target->width, height = target->height;
    const f32* m = camera->rotation.m;
    // The camera looks at the model's centre plus the pan from five radii away along its
    // backward axis a (column 2 of the rotation).
    const f32 a[3] = {m[2], m[5], m[8]};
    const f32* c = mesh->centre;
    const f32 centre[3] = {c[0], yUp ? c[1] : c[2], yUp ? c[2] : -c[1]};
    f32 offset[3], eye[3];
    for (int i = 0; i < 3; ++i) {
        offset[i] = camera->pan[i] + 5.0f * radius * a[i];
        eye[i] = centre[i] + offset[i];
    }
    f32 clearColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (scene->background && !scene->transparent)
        __builtin_memcpy(clearColour, scene->background, sizeof clearColour);
    else if (!scene->transparent)
        workspaceClearColour(clearColour);
    context->ClearRenderTargetView(target->renderTargetView, clearColour);
    context->ClearDepthStencilView(target->depthView, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 1.0f, 0);
    context->VSSetShader(renderer->vertexShader, nullptr, 0);
    context->IASetInputLayout(renderer->inputLayout);

    // Right-handed perspective: depth -near maps to 0 and -far to 1. The near plane never
    // comes closer than a thousandth of the radius, even with the eye inside the model.
    f32 t = offset[0] * a[0] + offset[1] * a[1] + offset[2] * a[2];
    f32 nearPlane = t - radius > 0.001f * radius ? t - radius : 0.001f * radius;
    f32 farPlane = nearPlane + 2.0f * radius;
    Matrix4 projection;
    projection.rows[0] = float4(zoom * f32(height) / f32(width), 0, 0, 0);
    projection.rows[1] = float4(0, zoom, 0, 0);
    projection.rows[2] = float4(0, 0, farPlane / (nearPlane - farPlane), -1.0f);
    projection.rows[3] = float4(0, 0, nearPlane * farPlane / (nearPlane - farPlane), 0);
    if (updateConstants<EyeConstants>(context, renderer->eyeConstants, sink, [&](EyeConstants* out) {
            writeEyeConstants(out, &camera->rotation, eye, projection);
        }))
        context->VSSetConstantBuffers(0, 1, &renderer->eyeConstants);
    context->VSSetConstantBuffers(1, 1, &renderer->meshConstants);

    D3D11_VIEWPORT viewport = {0.0f, 0.0f, f32(width), f32(height), 0.0f, 1.0f};
    context->RSSetViewports(1, &viewport);
    context->PSSetShader(renderer->pixelShader, nullptr, 0);
    ID3D11RenderTargetView* renderTargetView = target->renderTargetView;
    context->OMSetRenderTargets(1, &renderTargetView, target->depthView);
    context->OMSetDepthStencilState(nullptr, 0);
    context->RSSetState(scene->wireframe ? renderer->wireframeState : renderer->solidState);
    if (scene->marks && mesh->tintedVertexCount)
        drawMarks(context, renderer, scene, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, mesh->tintedVertexCount, 0, sink);
    const UINT stride = sizeof(GpuVertex), start = 0;
    context->IASetVertexBuffers(0, 1, &mesh->vertexBuffer, &stride, &start);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    updateConstants<MeshConstants>(context, renderer->meshConstants, sink,
                                   [&](MeshConstants* out) { writeMeshConstants(out, mesh, yUp); });

    for (u32 i = 0; i < mesh->solidCount; ++i) {
        const GpuDrawRange& range = mesh->drawRanges[i];
        if ((mesh->solidVisible && mesh->solidVisible[i] == 0) || range.triangleCount == 0)
            continue;
        context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        context->Draw(3 * range.triangleCount, range.firstVertex);
    }
    if (scene->marks && mesh->edgeVertexCount) {
        // Over everything: an edge behind the model shows where it is broken too.
        context->ClearDepthStencilView(target->depthView, D3D11_CLEAR_DEPTH, 1.0f, 0);
        drawMarks(context, renderer, scene, D3D11_PRIMITIVE_TOPOLOGY_LINELIST, mesh->edgeVertexCount,
                  mesh->tintedVertexCount, sink);
    }
}

bool createReadBackTextures(ID3D11Device* device, const D3D11_TEXTURE2D_DESC* source, ID3D11Texture2D** resolved,
                            ID3D11Texture2D** staging, const ReportSink* sink) {
    D3D11_TEXTURE2D_DESC one = *source;
    one.SampleDesc = {1, 0};
    one.Usage = D3D11_USAGE_DEFAULT;
    one.BindFlags = 0;
    one.CPUAccessFlags = 0;
    D3D11_TEXTURE2D_DESC mappable = one;
    mappable.Usage = D3D11_USAGE_STAGING;
    mappable.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    if (!reportIfFailed(device->CreateTexture2D(&one, nullptr, resolved), sink) &&
        !reportIfFailed(device->CreateTexture2D(&mappable, nullptr, staging), sink))
        return true;
    releaseReference(*resolved);
    return false;
}

void copyForReadBack(ID3D11DeviceContext* context, ID3D11Texture2D* source, ID3D11Texture2D* resolved,
                     ID3D11Texture2D* staging) {
    context->ResolveSubresource(resolved, 0, source, 0, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB);
    context->CopyResource(staging, resolved);
}

bool readBackPixels(ID3D11DeviceContext* context, ID3D11Texture2D* staging, u32 pixelBytes, u8* out,
                    const ReportSink* sink) {
    D3D11_TEXTURE2D_DESC desc;
    staging->GetDesc(&desc);
    D3D11_MAPPED_SUBRESOURCE mapped;
    if (reportIfFailed(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), sink))
        return false;
    for (u32 y = 0; y < desc.Height; ++y) {
        const u8* in = static_cast<const u8*>(mapped.pData) + u64(y) * mapped.RowPitch;  // red first
        for (u32 x = 0; x < desc.Width; ++x, in += 4, out += pixelBytes) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            if (pixelBytes == 4)
                out[3] = in[3];
        }
    }
    context->Unmap(staging, 0);
    return true;
}
