#pragma once

#include <cstdint>
#include <string>

// The options that both programs take for remote control and state files, read alike by each:
//   --http ADDRESS:PORT     serve the control interface there (off by default)
//   --http-token-file FILE  the bearer token requests must carry (needed off loopback)
//   --load FILE, --save FILE  a state document read before the server starts, written after it stops
struct ControlOptions {
    bool httpEnabled = false;
    std::string httpAddress;   // dotted IPv4
    uint16_t httpPort = 0;     // 0: the system chooses
    std::string tokenFile;
    std::string loadFile;
    std::string saveFile;
};

// True when `name` is one of the options above (each takes a value).
bool IsControlOption(const std::string& name);

// Takes one of the options above with its value; false with *problem saying what is wrong.
bool ParseControlOption(const std::string& name, const std::string& value, ControlOptions* options,
                        std::string* problem);

// The rules between the options, checked once all are read: the control interface bound to an
// address other than loopback needs a token file. False with *problem saying why.
bool CheckControlOptions(const ControlOptions& options, std::string* problem);

// The usage lines of these options, for both programs' --help.
const char* ControlOptionsUsage();
