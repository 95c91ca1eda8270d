// Folders and files acted on as themselves, never through a link: the staging folder lies where
// anything running as the user can plant links and swap names while the program works.
//
// Win32 has no call that opens a name relative to a folder handle, so paths are still given by
// name; what makes that safe is holding every folder on the way from the staging folder down,
// opened on the folder itself and unshared for deletion, so that none of them can be renamed,
// removed or replaced by a link while the program works below it, and checking every object
// from the handle it was opened with before acting on it. The folders above the staging folder
// (the user's own temporary folder and its parents) are not held: the window left is a rename
// of one of them, which Windows refuses while anything below it is open.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "ui/handles.h"

namespace own {

// Deletes the very object the handle was opened on (with DELETE access); for a link, the link.
bool DeleteOpened(HANDLE handle);

// The path without final separators: a path ending in one resolves through a link.
std::string WithoutFinalSeparator(const char* path);

// Removes the link at `path` itself. Only when the handle opened on the name shows the reparse
// point: a system that opened through it would delete what it points to.
bool RemoveLink(const char* path);

// A real folder at `path`, held open until the holder goes: not shared for deletion, so it can
// be neither renamed nor removed nor replaced by a link meanwhile. With `create` a missing folder
// is made; with `ours` a link there is removed first (never followed). Invalid when what is there
// is a file, a link that is not ours to remove, or cannot be made a real folder.
ui::File HoldFolder(const char* path, bool create, bool ours);

// A new file at `path` for writing, unshared: a link at the name is removed and an earlier file
// deleted (a read-only one is not, and then nothing is created), and the file is then created
// new, so that no object already at the name is ever written through. Invalid when refused.
ui::File CreateOwnFile(const char* path, DWORD attributes);

// The 8-bit spelling of `length` wide characters in the ANSI code page, into `spelled` with its
// NUL, when the spelling names exactly them: it converts back to the very same characters, so
// that an 8-bit call given it opens that name and no other. False when there is none.
bool ExactAnsiSpelling(const WCHAR* wide, int length, char (&spelled)[MAX_PATH]);

// The names in a held folder, as the ANSI code page spells them exactly; names that have no
// exact spelling, or that are not one path part of their own, are left out.
void ListFolder(HANDLE folder, std::vector<std::string>& names);

// Deletes everything beneath the held folder `path`; links inside are removed, never followed;
// what cannot be deleted stays.
void DeleteBeneath(HANDLE folder, const std::string& path);

// One part of a path that names an entry of its folder and nothing else: not empty, no
// separator, no colon (a stream), not "." or ".." once trailing dots and blanks are dropped.
bool IsOwnPathPart(const char* name, size_t length);

// A part that Windows would open as something other than a file of that name: a device (CON,
// PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with any extension, trailing blanks or the
// superscript digits), a stream (a colon), or a name ending in a dot or a blank, which Windows
// trims into another name.
bool IsUnsafePathPart(const char* part, size_t length);

}  // namespace own
