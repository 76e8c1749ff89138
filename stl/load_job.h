// A load job: one file path taken along the load road on a thread-pool thread, with the
// owner's end (the view's device and upload) run on the same thread, then handed back to the
// main window by a posted completion message.
//
// Ownership, in order of time:
// - the user-interface thread allocates the record (process heap), fills the fields up to
//   `status` (createLoadJob), and queues runLoadJob;
// - from then until the completion message the worker owns `file`, `upload` and `status`;
//   the user-interface thread only sets `cancelRequested` and reads `progress` and the
//   message text under `messageLock`;
// - the completion message (kLoadCompleted, wParam = the record) hands the whole record
//   back. A current job's `file` and `upload` are taken over, then freeLoadJobRecord; a
//   superseded job is released whole with releaseLoadJob.
#pragma once

#include "diag/messages.h"
#include "stl/heap.h"
#include "stl/load_road.h"

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

struct LoadJob;

// What the owner of the jobs adds to the road, on the job's thread. Every function may be null.
struct LoadJobEnd {
    void (*formatKnown)(LoadJob* job, StlFormat format);  // the parse begins: start what can overlap it
    bool (*parsed)(LoadJob* job, const LoadResult* result);  // false (reported) stops the load
    // After the road: what the owner makes of the load (in its heap), or null (reported).
    void* (*finish)(LoadJob* job);
    // Releases what `finish` made, for a load nobody takes over.
    void (*release)(void* upload);
};

struct LoadJob {
    wchar_t* path;  // process heap, NUL-terminated, owned by the record
    volatile u8 cancelRequested;
    const LoadJobEnd* end;
    void* endContext;  // the owner's, for its end (the view's window)
    volatile u32 messageLock;
    u32 progress;  // thousandths of the work
    MessageText messages;  // text, bytes, capacity: guarded by messageLock
    WindowHandle mainWindow;
    ReportSink translator;  // every step of the job reports here
    ReportSink collector;
    volatile JobStatus status;
    LoadedFile file;  // the finished load, when `status` is kJobLoaded
    void* upload;     // what the end's `finish` made of it
};

// A new job record for `path` (copied), or null (reported as "out of memory" to `sink`)
// when the process heap is exhausted. Nothing is queued yet.
LoadJob* createLoadJob(const wchar_t* path, const LoadJobEnd* end, void* endContext, WindowHandle mainWindow,
                       const ReportSink* sink);

// Queues runLoadJob on the system thread pool. False when the pool refuses; the caller
// still owns the record and frees it with freeLoadJobRecord.
bool queueLoadJob(LoadJob* job);

// The thread-pool callback: loadFile, then the completion message. Returns 0.
unsigned long __stdcall runLoadJob(void* job);

// The load road over the job's file, then the end's `finish`. Leaves `status` set and, on
// success, `file` and `upload` filled; on failure nothing of the load survives but the
// record and its messages. The file is unmapped before this returns.
void loadFile(LoadJob* job);

// A finished job that is no longer wanted: its load (when it has one) and its record.
void releaseLoadJob(LoadJob* job);
// The record alone: messages, path, record. Its load belongs to whoever took it over.
void freeLoadJobRecord(LoadJob* job);

// Copies the collected text out under the lock and empties it; returns the progress.
// `append` receives the text (NUL-terminated, `bytes` long) while the lock is held: it must
// not wait for anything.
u32 takeJobMessages(LoadJob* job, void (*append)(void* context, const Utf16* text, u64 bytes), void* context);
