// Files written whole or not at all.
#pragma once

#include <cstdio>

// Puts the file's content out through `file`; false when it could not.
typedef bool (*FileWriter)(FILE* file, const void* content);

// Writes what `write` puts out into a new file in the folder of `path`,
// flushes it to disk and only then renames it to `path`, so `path` holds
// either all of the new content or what it held before, never a part.
// Returns 0, or the errno of the step that failed; the new file is then gone.
int SaveFileWhole(const char* path, FileWriter write, const void* content);
