// The load road: the bytes of a file in, a finished load out. Detection, the reader with the
// exporter identification, the names copied out of the bytes, the load's defaults, the
// vertices the GPU draws with their box, and the solids' visibility. Every read of the bytes
// runs under the read guard, so bytes that go away while they are read (a mapped file cut
// short, a network share that drops) end the road with the system's text for it, as a failed
// read would. The viewer's load job, the console tool and the thumbnails run this road and
// add only their own end: an upload, a report, a picture.
#pragma once

#include "diag/report.h"
#include "stl/heap.h"
#include "stl/records.h"
#include "stl/vertices.h"

// A finished load, or what is known of one that failed. Everything it points to lives in
// `heap`; nothing points into the bytes it was read from (a binary mesh keeps no triangles:
// `mesh.fileStart` and every solid's `triangles` are null), so they may go as soon as the
// road returns.
struct LoadedFile {
    LoadHeap heap;       // null unless the road succeeded; releaseLoadedFile destroys it
    u64 fileSize;        // the bytes' size
    bool read;           // the bytes were there (false: the file could not be opened or mapped)
    LoadResult result;   // result.format is set from detection on, loaded or not
    u8* solidVisible;    // solidCount bytes (at least one), 1 = shown
    PreparedVertices vertices;  // the array may be freed (heapFree) once uploaded
    f32 centre[3];       // the drawn box, metres (measureBoundingBox)
    f32 size[3];
};

// What a caller adds to the road while it runs, on the road's thread. Any of them may be null.
struct LoadRoadHooks {
    void* context;
    // The bytes are STL of `format`; the parse begins next. The viewer starts its device here.
    void (*formatKnown)(void* context, StlFormat format);
    // The parse is done and the defaults applied; the vertices come next. False stops the
    // road (the hook has reported why): a mesh larger than the caller can draw.
    bool (*parsed)(void* context, const LoadResult* result);
};

// Runs the road over `size` bytes at `bytes` (a mapped view or any buffer). True when the
// file loaded; on false `out` holds no heap and the reason went to `sink` (a file that is not
// STL fails without a message). A sink that answers stop (a superseded load) ends the road.
bool runLoadRoad(LoadedFile* out, const u8* bytes, u64 size, const ReportSink* sink, const LoadRoadHooks* hooks);

// The same for the file at `path`: maps it, runs the road, and unmaps it before returning.
bool runLoadRoadOnFile(LoadedFile* out, const wchar_t* path, const ReportSink* sink, const LoadRoadHooks* hooks);

// Destroys the load's heap and zeroes the record; a zeroed record is left as it is.
void releaseLoadedFile(LoadedFile* file);
