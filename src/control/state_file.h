#pragma once

#include <string>

// State files: a state document (control/state_document.h) kept in a file, read before the server
// starts (--load) and written after it has stopped (--save). Messages start with the file's name as
// given, e.g. "state.json: registers[2].values[7]: 70000 is not in 0..65535".

// Reads the file, checks it whole and only then applies it; false with *problem, nothing changed,
// when the file cannot be read, is not JSON, or breaks a rule.
bool LoadStateFile(const std::string& path, std::string* problem);

// Writes the state as it is now, atomically: a failure leaves the file as it was.
bool SaveStateFile(const std::string& path, std::string* problem);
