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
        path_ = base + prefix + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    // Writes a file of these bytes (none: an empty file) and returns its path, or nothing
    // when the file cannot be made.
    std::wstring write(const std::wstring& name, const std::string& bytes = "") {
        files_.push_back(path_ + L"\\" + name);
        HANDLE handle = CreateFileW(files_.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(handle);
        return handle == INVALID_HANDLE_VALUE ? std::wstring() : files_.back();
    }
    std::wstring write(const std::wstring& name, const std::vector<unsigned char>& bytes) {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};
