// Explorer's part for the shell extension's tests: the DLL registered with regsvr32, a
// handler's class object found from the per-user keys (Wine's CoCreateInstance does not look
// under HKCU\Software\Classes; Windows' does), and a stream over bytes whose reads can fail.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "diag/base.h"

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kShellEx = kClasses + L"SystemFileAssociations\\.stl\\ShellEx\\";

inline std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Runs regsvr32 on the DLL (with /u to unregister) and returns its exit code.
inline DWORD runRegsvr32(bool unregister) {
    std::wstring command = std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u \"" : L"\"") +
                           widen(VANTOREL_SHELL_DLL) + L"\"";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    DWORD code = WAIT_TIMEOUT;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

inline std::wstring readValue(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t value[MAX_PATH] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes);
    return value;
}

// The class object of the handler named under `handlerKey`: its class id, that class's DLL,
// and the DLL's DllGetClassObject, as the shell finds them. Null (with a failure) when any
// step fails.
inline IClassFactory* classObjectOf(const std::wstring& handlerKey) {
    std::wstring classText = readValue(handlerKey);
    CLSID classId;
    if (CLSIDFromString(classText.c_str(), &classId) != S_OK) {
        ADD_FAILURE() << "handler key holds no class";
        return nullptr;
    }
    HMODULE module = LoadLibraryW(readValue(kClasses + L"CLSID\\" + classText + L"\\InprocServer32").c_str());
    auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (!getClassObject || getClassObject(classId, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
        ADD_FAILURE() << "cannot load the registered DLL or get its class object";
    return factory;
}

// An IStream over bytes in memory whose reads fail once `failAt` bytes have been read.
class FailingStream : public IStream {
public:
    FailingStream(std::vector<u8> bytes, ULONG failAt) : bytes_(std::move(bytes)), failAt_(failAt) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        *out = id == IID_IUnknown || id == IID_IStream || id == IID_ISequentialStream ? this : nullptr;
        return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE Read(void* out, ULONG want, ULONG* got) override {
        ULONG n = 0;
        for (; n < want && position_ < bytes_.size() && read_ < failAt_; ++n, ++read_)
            static_cast<u8*>(out)[n] = bytes_[position_++];
        if (got)
            *got = n;
        return n < want && read_ >= failAt_ ? STG_E_READFAULT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* out) override {
        position_ = size_t(move.QuadPart);
        if (out)
            out->QuadPart = position_;
        return origin == STREAM_SEEK_SET ? S_OK : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* status, DWORD) override {
        *status = STATSTG{};
        status->type = STGTY_STREAM;
        status->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
    ULONG references() const { return references_; }

private:
    std::vector<u8> bytes_;
    ULONG failAt_;
    size_t position_ = 0;
    ULONG read_ = 0;
    std::atomic<ULONG> references_{1};
};
