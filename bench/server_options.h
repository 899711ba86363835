#pragma once

#include <cstdlib>
#include <cstring>

// The command line both reference servers take: --bind ADDRESS, --port N (0 picks a free port)
// and --seconds N (the lifetime bound, so a forgotten server ends by itself). False on anything else.
inline bool ParseOptions(int argc, char** argv, const char*& bindAddress, long& port, long& seconds) {
  for (int i = 1; i + 1 < argc; i += 2) {
    char* end = nullptr;
    if (std::strcmp(argv[i], "--bind") == 0) {
      bindAddress = argv[i + 1];
      continue;
    }
    const long value = std::strtol(argv[i + 1], &end, 10);
    if (end == argv[i + 1] || *end != '\0') return false;
    if (std::strcmp(argv[i], "--port") == 0 && value >= 0 && value <= 65535) port = value;
    else if (std::strcmp(argv[i], "--seconds") == 0 && value >= 1 && value <= 86400) seconds = value;
    else return false;
  }
  return argc % 2 == 1;
}
