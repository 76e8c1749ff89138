#include "stl/detect.h"
#include "stl/map_file.h"

bool isStlFile(const wchar_t* path) {
    const u8* view = nullptr;
    u64 size = 0;
    if (!mapFile(&view, &size, path, nullptr))
        return false;
    StlFormat format = view ? detectStlFormat(view, size) : kFormatUnknown;
    unmapFile(view);
    return format != kFormatUnknown;
}
