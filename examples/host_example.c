/*
 * host_example: the smallest host updater for qelmoset.dll, in C.
 *
 *     host_example <folder of qelmoset.dll> <settings file>
 *
 * Puts a fresh copy of the settings file beside the DLL as qelmoset.ini (the
 * DLL's folder is its working folder: every run deletes the settings file),
 * loads the DLL from its full path, runs one update and exits with the
 * entry's result: 0 success, 1 failure; 2 when the entry could not be called.
 */
#include <stdio.h>
#include <wchar.h>

#include "qelmoset.h"

#define PATH_CAPACITY 1024

/* folder, a backslash and name into path; 0 when it does not fit. */
static int JoinPath(wchar_t* path, const wchar_t* folder, const wchar_t* name) {
  const int length = swprintf(path, PATH_CAPACITY, L"%ls\\%ls", folder, name);
  return length > 0 && length < PATH_CAPACITY;
}

/* Runs one update with the DLL in folder; -1 when it could not be called. */
static int RunUpdate(const wchar_t* folder) {
  wchar_t dllPath[PATH_CAPACITY];
  HMODULE dll;
  QelDllEntryProc entry;
  int result;

  if (!JoinPath(dllPath, folder, L"qelmoset.dll")) return -1;
  /* A full path: the DLL is never looked for on the PATH. */
  dll = LoadLibraryW(dllPath);
  if (dll == NULL) {
    fprintf(stderr, "cannot load qelmoset.dll (error %lu)\n", GetLastError());
    return -1;
  }
  entry = QelFindDllEntry(dll);
  if (entry == NULL) {
    fputs("qelmoset.dll has no export QelDllEntry\n", stderr);
    FreeLibrary(dll);
    return -1;
  }
  /* Blocks until the run is over, notice boxes included. */
  result = entry(0);
  FreeLibrary(dll);
  return result;
}

int wmain(int argc, wchar_t** argv) {
  wchar_t settingsPath[PATH_CAPACITY];
  int result;

  if (argc != 3) {
    fputs("usage: host_example <folder of qelmoset.dll> <settings file>\n", stderr);
    return 2;
  }
  /* Every run needs its own settings file beside the DLL. */
  if (!JoinPath(settingsPath, argv[1], L"qelmoset.ini") || !CopyFileW(argv[2], settingsPath, FALSE)) {
    fputs("cannot put qelmoset.ini beside the DLL\n", stderr);
    return 2;
  }
  result = RunUpdate(argv[1]);
  if (result == QEL_RESULT_SUCCESS) {
    puts("QelDllEntry returned 0: the update was started on the handset");
  } else if (result == QEL_RESULT_FAILURE) {
    puts("QelDllEntry returned 1: the update failed, qelmoset.log beside the DLL tells why");
  } else {
    return 2;
  }
  return result;
}
