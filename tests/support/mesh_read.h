// One reader's run over an input: the mesh it made, what it reported, and the heap, which
// lives as long as the run. A failed run must leave no mesh.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "stl/heap.h"
#include "support/exact_bytes.h"
#include "support/sinks.h"
#include "support/stl_bytes.h"

typedef bool (*StlReader)(StlMesh* mesh, const u8* first, u64 size, LoadHeap heap, const ReportSink* sink);

template <StlReader reader>
struct MeshRead {
    ExactBytes file;
    LoadHeap heap = createLoadHeap();
    StlMesh mesh = {};
    RecordingSink recorder;
    bool ok;

    explicit MeshRead(const std::string& input, bool answer = true) : file(input) {
        recorder.answer = answer;
        ok = reader(&mesh, file.begin(), file.size, heap, &recorder.sink);
        if (!ok) {
            EXPECT_EQ(+(mesh.solids), nullptr) << "a failed read leaves no mesh";
            EXPECT_EQ(+(mesh.solidCount), 0u);
        }
    }
    explicit MeshRead(const BinaryStlBuilder& builder, bool answer = true)
        : MeshRead(std::string(builder.bytes().begin(), builder.bytes().end()), answer) {}
    ~MeshRead() { destroyLoadHeap(heap); }
    MeshRead(const MeshRead&) = delete;

    const StlSolid& solid(u32 i) const { return mesh.solids[i]; }
    u32 triangles(u32 i) const { return mesh.solids[i].triangleCount; }
    StlTriangle triangle(u32 i, u32 index) const { return mesh.solids[i].triangles[index]; }
    std::string name(u32 i) const { return std::string(reinterpret_cast<const char*>(solid(i).name.bytes), solid(i).name.length); }
    uptr argumentOf(ResultCode code) const {
        for (const Recorded& r : recorder.reports)
            if (r.code == code)
                return r.argument;
        return ~uptr(0);
    }
};
