// The ten calls of the Windows CE remote API that the run makes, and the two
// records they take, as RAPI.dll exports them: undecorated names, WINAPI
// (stdcall on x86). The binding never links against these declarations; it
// looks the names up at run time and calls through the pointer types below.
// The device emulator defines the functions with exactly these signatures.
#pragma once

#include <windows.h>

#include <cstddef>

struct RAPIINIT {
  DWORD cbSize;        // sizeof(RAPIINIT)
  HANDLE heRapiInit;   // signalled when the link is up
  HRESULT hrRapiInit;  // the outcome of the connection
};

struct CE_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
};

// The layout the remote API expects: RAPIINIT is 12 bytes on x86 and 24 on
// x64 (three pointer-sized slots), CE_FIND_DATA 560 bytes on both.
static_assert(offsetof(RAPIINIT, cbSize) == 0);
static_assert(offsetof(RAPIINIT, heRapiInit) == sizeof(void*));
static_assert(offsetof(RAPIINIT, hrRapiInit) == 2 * sizeof(void*));
static_assert(sizeof(RAPIINIT) == 3 * sizeof(void*));
static_assert(sizeof(CE_FIND_DATA) == 560);
static_assert(offsetof(CE_FIND_DATA, dwOID) == 36);
static_assert(offsetof(CE_FIND_DATA, cFileName) == 40);

extern "C" {

HRESULT WINAPI CeRapiInitEx(RAPIINIT* init);
HRESULT WINAPI CeRapiUninit();
HANDLE WINAPI CeFindFirstFile(LPCWSTR path, CE_FIND_DATA* data);
BOOL WINAPI CeFindClose(HANDLE search);
BOOL WINAPI CeCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
HANDLE WINAPI CeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI CeWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                        LPOVERLAPPED overlapped);
BOOL WINAPI CeCloseHandle(HANDLE handle);
BOOL WINAPI CeDeleteFile(LPCWSTR path);
BOOL WINAPI CeCreateProcess(LPCWSTR program, LPCWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                            LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles,
                            DWORD creationFlags, LPVOID environment, LPWSTR currentFolder,
                            LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process);

}  // extern "C"

// Pointer types of the bound functions.
using CeRapiInitExProc = decltype(&CeRapiInitEx);
using CeRapiUninitProc = decltype(&CeRapiUninit);
using CeFindFirstFileProc = decltype(&CeFindFirstFile);
using CeFindCloseProc = decltype(&CeFindClose);
using CeCreateDirectoryProc = decltype(&CeCreateDirectory);
using CeCreateFileProc = decltype(&CeCreateFile);
using CeWriteFileProc = decltype(&CeWriteFile);
using CeCloseHandleProc = decltype(&CeCloseHandle);
using CeDeleteFileProc = decltype(&CeDeleteFile);
using CeCreateProcessProc = decltype(&CeCreateProcess);
