// Captures in a build made without libpcap (the Windows build): every start is refused with the
// reason, so that --capture and the control interface's capture route say why instead of failing
// to build or silently writing nothing.

#include "capture/capture_file.h"

bool StartCapture(const std::string& path, std::string* problem)
{
    *problem = "cannot create capture file " + path + ": captures are not available in this build (made without libpcap)";
    return false;
}

void StopCapture()
{
}

bool IsCapturing(std::string*)
{
    return false;
}

bool CaptureAvailable()
{
    return false;
}
