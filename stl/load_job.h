// A load job: one file path turned into a finished load on a thread-pool thread, with the
// Direct3D device made ready while the file is parsed, then handed back to the main window
// by a posted completion message.
//
// Ownership, in order of time:
// - the user-interface thread allocates the record (process heap), fills the fields up to
//   `status` (initLoadJob), and queues runLoadJob;
// - from then until the completion message the worker owns the result block (`view` to
//   `result`) and `status`; the user-interface thread only sets `cancelRequested` and reads
//   `progress` and the message text under `messageLock`;
// - the completion message (kLoadCompleted, wParam = the record) hands the whole record
//   back. A current job's result block is copied out, then freeLoadJobRecord; a superseded
//   job is released whole with releaseLoadJob.
#pragma once

#include "diag/messages.h"
#include "render/mesh.h"
#include "stl/heap.h"
#include "stl/records.h"

typedef void* WindowHandle;

typedef u32 JobStatus;
enum : JobStatus {
    kJobRunning = 0,
    kJobLoaded = 1,
    kJobCancelled = 2,
    kJobFailed = 3,
};

// Posted to `mainWindow` when the job has finished (WM_APP).
enum : u32 { kLoadCompleted = 0x8000 };

#pragma pack(push, 1)

struct LoadJob {
    wchar_t* path;  // process heap, NUL-terminated, owned by the record
    volatile u8 cancelRequested;
    WindowHandle viewWindow;  // its user data is the view's ViewState
    volatile u32 messageLock;
    u32 progress;  // thousandths of the work
    MessageText messages;  // text, bytes, capacity: guarded by messageLock
    WindowHandle mainWindow;
    ReportSink translator;  // every step of the job reports here
    ReportSink collector;
    volatile JobStatus status;
    // The result block: filled by the worker, taken over whole by the main window.
    const u8* view;  // null unless the job loaded the file
    u64 fileSize;
    GpuMesh* gpuMesh;  // in the heap
    u8* solidVisible;  // solidCount bytes in the heap, 1 = shown
    LoadHeap heap;
    LoadResult result;
};

// The block a main window copies when it takes a load over, same order as in the job.
struct LoadedFile {
    const u8* view;
    u64 fileSize;
    GpuMesh* gpuMesh;
    u8* solidVisible;
    LoadHeap heap;
    LoadResult result;
};

#pragma pack(pop)

static_assert(offsetof(LoadJob, view) + sizeof(LoadedFile) == sizeof(LoadJob), "the result block ends the record");

// A new job record for `path` (copied), or null (reported as "out of memory" to `sink`)
// when the process heap is exhausted. Nothing is queued yet.
LoadJob* createLoadJob(const wchar_t* path, WindowHandle viewWindow, WindowHandle mainWindow, const ReportSink* sink);

// Queues runLoadJob on the system thread pool. False when the pool refuses; the caller
// still owns the record and frees it with freeLoadJobRecord.
bool queueLoadJob(LoadJob* job);

// The thread-pool callback: loadFile, then the completion message. Returns 0.
unsigned long __stdcall runLoadJob(void* job);

// Map, detect, parse, apply the default unit and up axis, ensure the GPU and prepare the
// mesh. Leaves `status` set and, on success, the result block filled; on failure nothing
// of the load survives but the record and its messages.
void loadFile(LoadJob* job);

// A finished job that is no longer wanted: its load (when it has one) and its record.
void releaseLoadJob(LoadJob* job);
// The record alone: messages, path, record. Its load belongs to whoever took it over.
void freeLoadJobRecord(LoadJob* job);
// A taken-over load: vertex buffer, heap, view. Zeroes the block.
void releaseLoadedFile(LoadedFile* file);

// Copies the collected text out under the lock and empties it; returns the progress.
// `append` receives the text (NUL-terminated, `bytes` long) while the lock is held: it must
// not wait for anything.
u32 takeJobMessages(LoadJob* job, void (*append)(void* context, const Utf16* text, u64 bytes), void* context);

// What the job needs of the GPU side (the Windows side of the job). Called on the worker
// thread: makes the view's device ready and prepares the GPU mesh of the job's result in
// its heap, reporting to the job's translator. Null on failure. The preparation reads the
// triangles of a binary file in the mapped file (`file`, `size` bytes), through
// readMappedFile.
GpuMesh* prepareJobGpu(LoadJob* job, const u8* file, u64 size);

// Runs `read` (context) on the worker thread, where it may read the job's mapped file
// (`view`, `size` bytes), and returns its answer. A file that goes away while it is mapped
// (a network share that drops, a disk pulled, a file cut short by another system) makes
// such a read fault; the fault is caught, the system's text for it is reported to the
// job's translator and the answer is false, as for a read that failed. `read` must hold
// nothing but the job's own heap when it touches the file: no lock, no reference, no
// block of another heap.
bool readMappedFile(LoadJob* job, const u8* view, u64 size, bool (*read)(void* context), void* context);
// Starts the overlapping device creation of a load; nothing when it cannot be queued.
void warmUpJobGpu(LoadJob* job);
