// The embedded driver package: unpacking into the staging folder and emptying it again.
#pragma once

#include <string>

#include "platform/win32.h"

// "<temporary folder>Ostra2020\", or false when the temporary folder cannot be had or the
// path would not fit in 260 bytes.
bool StagingFolderPath(char (&path)[260]);

// Makes the staging folder, makes it the current directory and unpacks the package variant of
// `language` (2052: resource 129, else 138) into it. Reports nothing: whatever fails shows later
// as a missing file.
void UnpackDriverPackage(DWORD language);

// Deletes everything beneath `folder`, which must be the staging folder itself: any other
// folder, or a staging folder that is a link, is left alone. Links found inside are removed,
// never followed.
void DeleteStagingFolderContents(const std::string& folder);
