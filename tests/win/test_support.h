// Files, folders, processes and plug-in copies for the Windows tests.
#pragma once

#include <windows.h>

#include <set>
#include <string>

// The folder of the running test executable, with a trailing separator; FindRail.dll lies there.
std::wstring BinDir();
// A new, empty folder under the temporary folder, with a trailing separator; the run's wine_stop removes it.
std::wstring MakeTempDir(const std::wstring& tag);
// Copies FindRail.dll into a fresh folder as <stem>.dll, so that the copy has a settings file of its own,
// and deletes that settings file if an earlier run left one. Returns the copy's path.
std::wstring CopyPluginAs(const std::wstring& stem);
// Where a plug-in named <stem> keeps its settings when no Kelo.ini lies beside the executable.
std::wstring RoamingPluginIni(const std::wstring& stem);

// The file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// Replaces the file, creating its folders; false on failure.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// The names of the files and folders in `dir` (with its trailing separator), "." and ".." aside.
std::set<std::wstring> FolderNames(const std::wstring& dir);

// Runs bin\StandInHost.exe with the plug-in at `dll`, the given script and its heap check asked for; stores
// its exit code (-1 on time-out; 3 when heap checking is off, 0xC0000374 when a heap is damaged) in *exitCode
// and returns its log.
std::string RunStandInHost(const std::wstring& dll,
                           const std::wstring& script,
                           DWORD timeoutMs,
                           int* exitCode);

// Runs a command line and waits at most timeoutMs; the exit code, or -1 when it timed out (it is killed).
int RunProcess(const std::wstring& commandLine, DWORD timeoutMs);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& bytes);
