// The package's files as this run wrote them into the staging folder, held until the clean-up.
//
// Anything running as the user can write in the staging folder, so a file found there is not
// ours because of its name: only a file this run wrote, read back through a handle that shares
// reading only and found to hold exactly the member's bytes, is. That handle stays open until
// the clean-up, so nobody can write, delete or rename the file meanwhile (and its folders are
// held unshared for deletion, so they cannot be renamed either). One set per process, like the
// current directory the folder is.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "ui/handles.h"

namespace staged {

// Takes hold of the file this run has just written at `path` (absolute): true when the handle
// opened on it reads exactly `bytes`, and then it is held. A file that is not kept is not ours.
bool Hold(const std::string& path, std::vector<unsigned char> bytes);

// Keeps a folder of the staging folder held (a handle from own::HoldFolder) until Release.
void HoldFolder(ui::File folder);

// The bytes of the file held at `path` (relative to the current directory unless absolute;
// letter case and the kind of separator do not matter); null when this run holds no file there.
const std::vector<unsigned char>* Held(const char* path);

// True when the file at `copy` holds exactly `bytes` (a held file's, from Held).
bool CopiedExactly(const std::vector<unsigned char>& bytes, const char* copy);

// Lets go of the file held at `path`, if any, so that it can be written again.
void Forget(const char* path);

// Lets go of every file and folder held, before the clean-up deletes them.
void Release();

}  // namespace staged
