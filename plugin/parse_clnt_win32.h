// Client process identification: which process holds a local TCP port, and that process's
// executable path written with a drive letter.
#pragma once

#include <windows.h>

#include <string>

// Owning process id of the first row of the system's IPv4 TCP table whose local port is `port`
// (host byte order), whatever the row's state; 0 when no row matches or any step fails.
// Reads the table through "IPHLPAPI.DLL", loaded by name for the call and released after it.
DWORD kova_get_clnt_pid(unsigned short port);

// Looks up the process holding `port` and its executable path, under g_csClntLookup (set up here
// too if nobody has yet). The path is copied into *pstrPath before the lock is released, so a
// concurrent lookup cannot change it. Outputs are optional; on return they hold the process id
// and path found, or 0 and an empty text (the id can come back with an empty path when the
// process cannot be opened or its path cannot be converted).
void kova_get_clnt_pid_and_path(unsigned short port, DWORD* pdwPid, std::string* pstrPath);

// Drive-letter path of the executable of process `pid`, in g_clntPathBuffer, or null. The
// caller must hold g_csClntLookup while it reads the buffer.
const char* kova_get_clnt_path(DWORD pid);

// Rewrites a device path (\Device\HarddiskVolume3\dir\app.exe) into a drive-letter path
// (C:\dir\app.exe) in g_clntPathBuffer, or returns null when no drive matches or the drive list
// cannot be read. Drives A: and B:, and drives whose device name cannot be read, are skipped.
// A drive matches when its device name is followed in the path by a backslash or the end.
const char* dospath_to_ntpath(const char* pszDevicePath);

// The buffer the two routines above return (1,024 bytes), valid until the next conversion.
extern char g_clntPathBuffer[1024];

// The drive queries dospath_to_ntpath makes, replaceable by tests so that they can present drive
// lists that the machine does not have. Null arguments restore the system's own functions.
using PfnGetLogicalDriveStringsA = DWORD(WINAPI*)(DWORD nBufferLength, LPSTR lpBuffer);
using PfnQueryDosDeviceA = DWORD(WINAPI*)(LPCSTR lpDeviceName, LPSTR lpTargetPath, DWORD ucchMax);
void SetDriveQueriesForTest(PfnGetLogicalDriveStringsA getDrives, PfnQueryDosDeviceA queryDevice);
