// The Windows SDK headers the Win32 side uses. Include this instead of
// <windows.h>: it removes the A/W macros whose names are also member names of
// Platform (MessageBox, CopyFile, ...), which would otherwise rename those
// members in every file that sees <windows.h> first.
#pragma once

// <windows.h> must come first.
#include <windows.h>

#include <oleauto.h>
#include <shellapi.h>

#undef CopyFile
#undef DeleteFile
#undef MessageBox
#undef MoveFile
#undef SetCurrentDirectory
#undef ShellExecute
