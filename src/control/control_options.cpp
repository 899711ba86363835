#include "control/control_options.h"

#include "platform/socket.h"
#include "server/listen_options.h"

namespace {

// ADDRESS:PORT, the address as --bind takes it and the port as --port does (0: any free port); an
// IPv6 address in brackets, [::1]:8502, so that its own colons are not read as the port's.
bool ParseEndpoint(const std::string& text, std::string* address, uint16_t* port)
{
    std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string host = text.substr(0, colon);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) {
        host = host.substr(1, host.size() - 2);
    }
    // An IPv6 address needs its brackets, and only an IPv6 address may have them.
    if (bracketed != (host.find(':') != std::string::npos)) {
        return false;
    }
    uint32_t value = 0;
    if (!IsBindAddress(host) || !ParseDecimalNumber(text.substr(colon + 1), UINT16_MAX, &value)) {
        return false;
    }
    *address = host;
    *port = static_cast<uint16_t>(value);
    return true;
}

bool IsLoopbackAddress(const std::string& address)
{
    return address.rfind("127.", 0) == 0 || address == "::1";
}

}  // namespace

bool IsControlOption(const std::string& name)
{
    return name == "--http" || name == "--http-token-file" || name == "--load" || name == "--save";
}

bool ParseControlOption(const std::string& name, const std::string& value, ControlOptions* options,
                        std::string* problem)
{
    if (name == "--http") {
        if (!ParseEndpoint(value, &options->httpAddress, &options->httpPort)) {
            *problem = "--http needs ADDRESS:PORT with an IPv4 address or an IPv6 one in brackets and a port from 0 "
                       "to 65535, such as 127.0.0.1:8502 or [::1]:8502, got '" +
                       value + "'";
            return false;
        }
        options->httpEnabled = true;
        return true;
    }
    if (value.empty()) {
        *problem = name + " needs a file name";
        return false;
    }
    if (name == "--http-token-file") {
        options->tokenFile = value;
    } else if (name == "--load") {
        options->loadFile = value;
    } else {
        options->saveFile = value;
    }
    return true;
}

bool CheckControlOptions(const ControlOptions& options, std::string* problem)
{
    if (options.httpEnabled && !IsLoopbackAddress(options.httpAddress) && options.tokenFile.empty()) {
        char endpoint[kEndpointTextSize];
        FormatEndpointOf(options.httpAddress.c_str(), options.httpPort, endpoint);
        *problem = "--http " + std::string(endpoint) +
                   " can be reached from other machines: give --http-token-file FILE, or bind it to 127.0.0.1 or ::1";
        return false;
    }
    return true;
}

const char* ControlOptionsUsage()
{
    return "  --http ADDRESS:PORT     serve the HTTP control interface there (off by default;\n"
           "                          port 0: any free port)\n"
           "  --http-token-file FILE  the token that HTTP requests must carry (Authorization: Bearer);\n"
           "                          required unless --http is bound to a loopback address\n"
           "  --load FILE             read a state document (values and settings) before starting\n"
           "  --save FILE             write the state document after the server has stopped\n";
}
