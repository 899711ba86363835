#include <QApplication>

#include <cstdio>

#include "capture/capture_file.h"
#include "console/command_line.h"
#include "console/console_application.h"
#include "console/console_resources.h"
#include "control/bearer_token.h"
#include "parvane_version.h"
#include "platform/stop_signals.h"

int main(int argc, char* argv[])
{
    // Options are read before the window system is touched, so --help works without a display.
    ConsoleOptions options;
    std::string error;
    switch (ParseCommandLine(argc, argv, &options, &error)) {
    case CommandLineAction::ShowHelp:
        std::fputs(CommandLineUsage(), stdout);
        return 0;
    case CommandLineAction::ShowVersion:
        std::printf("parvane %s\nLicensed under the %s.\n", PARVANE_VERSION, PARVANE_LICENSE);
        return 0;
    case CommandLineAction::Fail:
        std::fprintf(stderr, "parvane: %s\n%s", error.c_str(), CommandLineUsage());
        return 2;
    case CommandLineAction::Run:
        break;
    }
    // A token file that cannot serve is a bad option, refused before any window opens.
    if (std::string token; options.control.httpEnabled && !options.control.tokenFile.empty() &&
                           !ReadBearerToken(options.control.tokenFile, &token, &error)) {
        std::fprintf(stderr, "parvane: %s\n", error.c_str());
        return 2;
    }
    // Like a bad option: the file is created before any window opens.
    if (!options.captureFile.empty() && !StartCapture(options.captureFile, &error)) {
        std::fprintf(stderr, "parvane: %s\n", error.c_str());
        return 2;
    }
    // Before any thread exists (the window system starts some), so that only the window thread's
    // poll ever sees SIGINT, SIGTERM and SIGHUP.
    BlockStopSignals();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(ParvaneIcon());
    const int status = RunConsole(options);
    StopCapture();
    return status;
}
