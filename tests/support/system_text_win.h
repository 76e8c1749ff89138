#pragma once

#include <windows.h>

#include <string>

// The system's one-line text for a Win32 error, as the message translator asks for it.
inline std::u16string systemText(DWORD error) {
    wchar_t buffer[1024];
    DWORD length = FormatMessageW(0x12FF, nullptr, error, 0, buffer, 1024, nullptr);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}
