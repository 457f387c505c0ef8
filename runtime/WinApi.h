// <windows.h> for the Win32 parts of runtime/, without the macros whose names clash with ours
// (Win32 maps DeleteFile to DeleteFileW and OemToAnsi to OemToCharA, which would rename Env's
// methods and Locale's function in these files only).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#undef DeleteFile
#undef OemToAnsi
#undef CopyFile
#undef MoveFile
