#pragma once

#include <string>

// Whole files for the program's own documents (state files, the token file). Results are 0 or the
// system's error number for the failed step, whose words FileErrorText gives.

// Reads the whole file into *contents.
int ReadWholeFile(const char* path, std::string* contents);

// Replaces the file in one step: the contents go to a temporary file in the same folder, which is
// flushed to the disk and then renamed over `path`, so that a crash at any moment leaves either the
// old file or the new one, never a part of either. The temporary file is removed on failure.
int WriteFileAtomically(const char* path, const std::string& contents);

// The system's words for a file error number, e.g. "No such file or directory".
std::string FileErrorText(int number);
