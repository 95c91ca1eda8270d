// The platform probe: one line per platform call the program relies on, printed to stdout.
#pragma once

// `linkFolder` holds the links the harness planted: "folder", a link to `targetFolder`, which
// holds "inside.txt" (the one byte "x"), and "file", a link to that "inside.txt". The probe
// deletes both links at its end. `driverSource` holds the driver package's "Windows x64" files.
int RunProbe(const char* linkFolder, const char* targetFolder, const char* driverSource);
