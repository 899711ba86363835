#pragma once

#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/socket.h"

// The headless server beside the test programs: a test program is build/tests/NAME, parvane-cli
// is build/parvane-cli.
inline std::string CliPath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "parvane-cli").string();
}

// The server the process tests start: the one beside them, or the command in PARVANE_CLI_COMMAND,
// words separated by spaces with the program first, e.g. "wine64 build-windows/parvane-cli.exe".
// Tests in suites named *ProcessTest start it this way and hold for either build:
// scripts/test-windows.sh runs them against the Windows build under Wine.
inline std::vector<std::string> CliCommand()
{
    const char* command = std::getenv("PARVANE_CLI_COMMAND");
    std::vector<std::string> words;
    std::istringstream text(command != nullptr ? command : "");
    for (std::string word; text >> word;) {
        words.push_back(word);
    }
    if (words.empty()) {
        return {CliPath()};
    }
    // The program is run with execve, which does not search PATH.
    const char* path = std::getenv("PATH");
    std::istringstream folders(words[0].find('/') == std::string::npos && path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + words[0];
        if (access(candidate.c_str(), X_OK) == 0) {
            words[0] = candidate;
            break;
        }
    }
    return words;
}

inline std::string CliProgram()
{
    return CliCommand().front();
}

// The program's arguments: the command's own words after the program, then `options`.
inline std::vector<std::string> CliArguments(const std::vector<std::string>& options)
{
    std::vector<std::string> arguments = CliCommand();
    arguments.erase(arguments.begin());
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
}

// The signals that stop the server in order, the first one the tests' usual stop: SIGTERM, SIGINT and
// SIGHUP, or those named in PARVANE_CLI_STOP_SIGNALS (e.g. "INT"). Under Wine only SIGINT reaches a
// Windows program, as Ctrl+C to its console control handler; Wine leaves SIGTERM and SIGHUP at their
// default action, which kills the process.
inline std::vector<int> CliStopSignals()
{
    const char* names = std::getenv("PARVANE_CLI_STOP_SIGNALS");
    if (names == nullptr) {
        return {SIGTERM, SIGINT, SIGHUP};
    }
    const struct {
        const char* name;
        int number;
    } known[] = {{"TERM", SIGTERM}, {"INT", SIGINT}, {"HUP", SIGHUP}};
    std::vector<int> signals;
    std::istringstream text(names);
    for (std::string name; text >> name;) {
        for (const auto& signal : known) {
            if (name == signal.name) {
                signals.push_back(signal.number);
            }
        }
    }
    return signals.empty() ? std::vector<int>{SIGTERM} : signals;
}

inline int CliStopSignal()
{
    return CliStopSignals().front();
}

// A loopback port that was free a moment ago (bound to port 0 and read back). Another program may
// take it before the server binds it: prefer --port 0 and the "Listening on" line where a test can.
inline uint16_t FreePort()
{
    int error = 0;
    SocketHandle probe = CreateTcpSocket(&error);
    uint16_t port = 0;
    if (probe != kNoSocket && BindSocket(probe, "127.0.0.1", 0) == 0) {
        LocalPort(probe, &port);
    }
    CloseSocket(probe);
    return port;
}
