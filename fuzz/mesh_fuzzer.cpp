// The mesh check on whatever the load road makes of arbitrary bytes (an exact-size copy, so a
// read past the end is a heap overflow the sanitizer sees). Besides the sanitizers, it traps
// when the counts disagree with each other: every non-degenerate triangle uses three edges,
// no more shells than triangles, one mark per open or non-manifold edge, and a closed mesh
// of finite coordinates has a finite volume.
#include <vector>

#include "stl/load_road.h"
#include "stl/mesh_check.h"

namespace {

void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool finiteCoordinates(const PreparedVertices& vertices) {
    for (u64 i = 0; i < vertices.vertexCount; ++i)
        for (f32 x : vertices.vertices[i].position)
            if (x - x != 0)
                return false;
    return true;
}

void checkInvariants(const LoadedFile& file) {
    MeshCheck check;
    MeshMarks marks;
    if (!checkMesh(&file.vertices, 0.001, nullptr, &check, file.heap, &marks))
        return;
    u64 kept = check.triangles - check.degenerateTriangles;
    require(check.degenerateTriangles <= check.triangles);
    require(check.edgeUses == 3 * kept);
    require(check.shells <= kept && (kept == 0 || check.shells > 0));
    require(check.vertices <= 3 * kept && check.edges <= 3 * kept);
    require(check.openEdges + check.nonManifoldEdges + check.misorientedEdges <= check.edges);
    require(marks.edgeEndCount == check.openEdges + check.nonManifoldEdges);
    require(check.closed == (check.openEdges == 0 && check.nonManifoldEdges == 0));
    require(!check.insideOut || (check.closed && check.signedVolume < 0));
    if (check.closed && finiteCoordinates(file.vertices))
        require(check.signedVolume - check.signedVolume == 0 && check.area - check.area == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    const u8* first = copy.data();
    LoadedFile file;
    if (runLoadRoad(&file, first, size, nullptr, nullptr))
        checkInvariants(file);
    releaseLoadedFile(&file);
    return 0;
}
