#pragma once

// Where the install tests find the staged tree, and what the build says should be in it.

#include <string>

inline const std::string kStagedRoot = PARVANE_PACKAGE_TEST_ROOT;
inline const std::string kExpectedVersion = PARVANE_EXPECTED_VERSION;
inline constexpr bool kConsoleInstalled = PARVANE_CONSOLE_INSTALLED != 0;

// A path under the staged /usr, e.g. Installed("bin/parvane-cli").
inline std::string Installed(const std::string& relative) { return kStagedRoot + "/usr/" + relative; }

// The console needs no display to answer its options.
inline const std::string kHeadlessQt = "QT_QPA_PLATFORM=offscreen";
