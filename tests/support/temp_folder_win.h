// A folder of its own under the system's temporary folder, removed with its files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TempFolder {
public:
    explicit TempFolder(const std::wstring& prefix) {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + prefix + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    // Writes a file of these bytes (none: an empty file) and returns its path.
    std::wstring write(const std::wstring& name, const std::string& bytes = "") {
        std::wstring file = path_ + L"\\" + name;
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(handle);
        files_.push_back(file);
        return handle == INVALID_HANDLE_VALUE ? std::wstring() : file;
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};
