// The stage stamps of the viewer's benchmark build (vantorel_stamped.exe; the product is
// built without them). Each stamp keeps the performance counter at its stage. The first
// frame presented after an upload appends one line to the file that the environment
// variable VANTOREL_STAMPS names:
//   stamps FREQUENCY STEP_COMMAND ENTRY WINDOW LOAD PARSED DEVICE VERTICES UPLOADED FRAME
// (counter values; 0 where a stage did not happen, as the entry and the window for a file
// stepped to). Then, while VANTOREL_STEPS asks for more, it sends the main window the Next
// File command, as the Right key does; after the last file it ends the process.
// Linked without the C runtime, like the viewer.
#include <windows.h>

#include "diag/stage_stamps.h"
#include "shell/folder_walker_win.h"

namespace {

i64 stamps[kStampCount];
i64 stepCommand;
i64 stepsLeft = -1;  // read at the first frame

i64 counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

char* writeSigned(char* out, i64 value) {
    *out++ = ' ';
    return writeDecimal(out, u64(value));
}

void appendLine() {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"VANTOREL_STAMPS", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    char line[400] = "stamps";
    char* out = line + 6;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    out = writeSigned(out, frequency.QuadPart);
    out = writeSigned(out, stepCommand);
    for (i64 stamp : stamps)
        out = writeSigned(out, stamp);
    *out++ = '\n';
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, DWORD(out - line), &written, nullptr);
    CloseHandle(file);
}

i64 stepsAsked() {
    wchar_t text[16];
    DWORD length = GetEnvironmentVariableW(L"VANTOREL_STEPS", text, 16);
    i64 steps = 0;
    for (DWORD i = 0; i < length && i < 16 && text[i] >= L'0' && text[i] <= L'9'; ++i)
        steps = steps * 10 + (text[i] - L'0');
    return steps;
}

}  // namespace

void stampStage(StageStamp stage, void* window) {
    i64 now = counter();
    if (stage != kStampFramePresented) {
        stamps[stage] = now;
        return;
    }
    // Repaints of a mesh already shown have no upload before them.
    if (stamps[kStampUploaded] == 0)
        return;
    stamps[kStampFramePresented] = now;
    appendLine();
    for (u32 i = 0; i < kStampCount; ++i)
        stamps[i] = 0;
    if (stepsLeft < 0)
        stepsLeft = stepsAsked();
    if (stepsLeft == 0)
        TerminateProcess(GetCurrentProcess(), 0);
    --stepsLeft;
    stepCommand = counter();
    PostMessageW(GetAncestor(static_cast<HWND>(window), GA_ROOT), WM_COMMAND, kCommandNextFile, 0);
}
