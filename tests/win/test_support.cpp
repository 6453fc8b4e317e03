#include "test_support.h"

#include <shlobj.h>

#include <atomic>

std::wstring BinDir() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring MakeTempDir(const std::wstring& tag) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    (void)GetTempPathW(MAX_PATH, temp);
    for (;;) {
        std::wstring dir = std::wstring(temp) + L"findrail-" + tag + L"-" +
                           std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L"\\";
        if (CreateDirectoryW(dir.c_str(), nullptr)) {
            return dir;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::wstring();
        }
    }
}

std::wstring RoamingPluginIni(const std::wstring& stem) {
    wchar_t appData[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    return std::wstring(appData, length) + L"\\Kelo\\Plugins\\" + stem + L"\\" + stem + L".ini";
}

std::wstring CopyPluginAs(const std::wstring& stem) {
    const std::wstring copy = MakeTempDir(stem) + stem + L".dll";
    if (!CopyFileW((BinDir() + L"FindRail.dll").c_str(), copy.c_str(), FALSE)) {
        return std::wstring();
    }
    (void)DeleteFileW(RoamingPluginIni(stem).c_str());
    return copy;
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
    (void)SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::set<std::wstring> FolderNames(const std::wstring& dir) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        if (found.cFileName[0] != L'.') {
            names.insert(found.cFileName);
        }
    }
    (void)FindClose(search);
    return names;
}

int RunProcess(const std::wstring& commandLine, DWORD timeoutMs) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -2;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        (void)GetExitCodeProcess(process.hProcess, &code);
    } else {
        (void)TerminateProcess(process.hProcess, 1);
        (void)WaitForSingleObject(process.hProcess, 5000);
        code = static_cast<DWORD>(-1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

std::string RunStandInHost(const std::wstring& dll,
                           const std::wstring& script,
                           DWORD timeoutMs,
                           int* exitCode) {
    const std::wstring log = MakeTempDir(L"host-log") + L"host.log";
    const std::wstring command = L"\"" + BinDir() + L"StandInHost.exe\" --heap-check --plugin \"" + dll +
                                 L"\" --log \"" + log + L"\" " + script;
    *exitCode = RunProcess(command, timeoutMs);
    return ReadFileBytes(log);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                              nullptr, nullptr);
    return bytes;
}

std::wstring FromUtf8(const std::string& bytes) {
    if (bytes.empty()) {
        return std::wstring();
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    (void)MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}
