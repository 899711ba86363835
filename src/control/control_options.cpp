#include "control/control_options.h"

#include "server/listen_options.h"

namespace {

// ADDRESS:PORT, the address as --bind takes it and the port as --port does (0: any free port).
bool ParseEndpoint(const std::string& text, std::string* address, uint16_t* port)
{
    std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    uint32_t value = 0;
    if (!IsBindAddress(text.substr(0, colon)) || !ParseDecimalNumber(text.substr(colon + 1), UINT16_MAX, &value)) {
        return false;
    }
    *address = text.substr(0, colon);
    *port = static_cast<uint16_t>(value);
    return true;
}

bool IsLoopbackAddress(const std::string& address)
{
    return address.rfind("127.", 0) == 0;
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
            *problem = "--http needs ADDRESS:PORT with a dotted IPv4 address and a port from 0 to 65535, such as "
                       "127.0.0.1:8502, got '" +
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
        *problem = "--http " + options.httpAddress + ":" + std::to_string(options.httpPort) +
                   " can be reached from other machines: give --http-token-file FILE, or bind it to 127.0.0.1";
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
