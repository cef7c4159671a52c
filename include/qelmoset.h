/*
 * qelmoset.h: the interface of qelmoset.dll for host updater programs in C
 * and C++.
 *
 * qelmoset.dll has one export, QelDllEntry (ordinal 1, undecorated name also
 * on x86, where it is stdcall). One call is one complete update run on the
 * calling thread: it connects to the handset, reads qelmoset.ini beside the
 * DLL, copies the update file to the handset, starts the handset's update
 * program, then empties the DLL's folder of every file but the DLL and the
 * log files. It returns when the run is over, after any error notice box has
 * been closed by the user.
 *
 * Load the DLL at run time and look the entry up by name:
 *
 *     HMODULE dll = LoadLibraryW(L"C:\\Updater\\qelmoset\\qelmoset.dll");
 *     QelDllEntryProc entry = QelFindDllEntry(dll);
 *     int result = entry(0);
 *
 * Calls must not overlap, not even from different threads: the DLL keeps one
 * process-wide copy of its folder.
 */
#ifndef QELMOSET_H
#define QELMOSET_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of QelDllEntry. No other value is returned. */
#define QEL_RESULT_SUCCESS 0 /* the update file was copied and the handset's program started */
#define QEL_RESULT_FAILURE 1 /* the run failed; its notice was shown and the log tells why */

/* The export's name, for GetProcAddress. */
#define QEL_ENTRY_NAME "QelDllEntry"

/* Runs one update. The argument is reserved and never read: pass 0. */
int WINAPI QelDllEntry(int reserved);

/* The entry's type, for the address that GetProcAddress returns. */
typedef int(WINAPI* QelDllEntryProc)(int reserved);

/* Looks the entry up in a loaded qelmoset.dll; NULL when it has none. The
 * detour through void (*)(void) keeps compilers from warning about the cast
 * of GetProcAddress's generic function type. */
static inline QelDllEntryProc QelFindDllEntry(HMODULE dll) {
  return (QelDllEntryProc)(void (*)(void))GetProcAddress(dll, QEL_ENTRY_NAME);
}

#ifdef __cplusplus
}
#endif

#endif /* QELMOSET_H */
