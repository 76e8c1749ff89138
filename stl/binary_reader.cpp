#include "stl/binary_reader.h"

void releaseStlMesh(StlMesh* mesh, LoadHeap heap) {
    if (!mesh->solids)
        return;
    if (!mesh->fileStart) {
        for (u32 i = 0; i < mesh->solidCount; ++i)
            heapFree(heap, const_cast<StlTriangle*>(mesh->solids[i].triangles));
    }
    heapFree(heap, mesh->solids);
    mesh->solids = nullptr;
    mesh->solidCount = 0;
}

// Bits 0..14 of an attribute word carry a colour unless every record of the block holds
// the same "no colour" word: all zero (most exporters) or all 0x7FFF (some write the bits
// set). Bit 15 is a per-exporter flag and plays no part.
static void scanBlock(StlSolid* solid, const u8* records, u32 count, const ReportSink* sink) {
    u32 step = count / 1000 + 1;
    u32 nextReport = 0;
    u32 reports = 0;
    bool normalsSeen = false;
    bool allZero = true;
    bool allSet = true;
    for (u32 i = 0; i < count; ++i) {
        const u8* record = records + u64(i) * kBinaryRecordBytes;
        if (!normalsSeen) {
            // A NaN compares unequal to 0 and so counts as a normal; -0 compares equal.
            normalsSeen = loadF32(record) != 0.0f || loadF32(record + 4) != 0.0f || loadF32(record + 8) != 0.0f;
        }
        u16 colour = loadU16(record + offsetof(StlTriangle, attribute)) & 0x7FFF;
        allZero &= colour == 0;
        allSet &= colour == 0x7FFF;
        if (i == nextReport) {
            if (sink)
                report(sink, kProgress, reports);
            ++reports;
            nextReport += step;
        }
    }
    solid->hasNormals = normalsSeen;
    solid->hasColours = !allZero && !allSet;
}

// The array doubles whenever the count reaches a power of two, so its capacity follows
// from the count. Growing by one entry per solid would make a file of millions of empty
// solids (a binary file trailing megabytes of zero bytes: each four of them an empty
// block) cost a copy of the whole array per solid.
bool makeRoomForSolid(StlMesh* mesh, LoadHeap heap, const ReportSink* sink) {
    u32 count = mesh->solidCount;
    if (count == 0) {
        mesh->solids = allocateArrayOf<StlSolid>(heap, 1, sink);
        return mesh->solids != nullptr;
    }
    if ((count & (count - 1)) != 0)
        return true;
    if (count == 0x80000000u) {  // 2^32 solids would overflow the count: 16 GiB of empty blocks
        if (sink)
            report(sink, kOutOfMemory);
        return false;
    }
    void* grown = reallocateArray(heap, mesh->solids, sizeof(StlSolid), u64(count) * 2, sink);
    if (!grown)
        return false;
    mesh->solids = static_cast<StlSolid*>(grown);
    return true;
}

bool readBinaryStl(StlMesh* mesh, const u8* first, u64 size, LoadHeap heap, const ReportSink* sink) {
    mesh->fileStart = first;
    mesh->solids = nullptr;
    mesh->solidCount = 0;
    const u8* position = first + kBinaryHeaderBytes;
    u64 remaining = size - kBinaryHeaderBytes;
    while (remaining >= kBinaryCountBytes) {
        u32 count = loadU32(position);
        position += kBinaryCountBytes;
        remaining -= kBinaryCountBytes;
        if (remaining < u64(count) * kBinaryRecordBytes) {
            if (sink)
                report(sink, kEndOfFileInTriangles);
            releaseStlMesh(mesh, heap);
            return false;
        }
        if (!makeRoomForSolid(mesh, heap, sink)) {
            releaseStlMesh(mesh, heap);
            return false;
        }
        StlSolid* solid = &mesh->solids[mesh->solidCount++];
        solid->triangleCount = count;
        solid->triangles = reinterpret_cast<const StlTriangle*>(position);
        solid->name = FileText{position, 0, 0};
        scanBlock(solid, position, count, sink);
        position += u64(count) * kBinaryRecordBytes;
        remaining -= u64(count) * kBinaryRecordBytes;
    }
    return true;
}
