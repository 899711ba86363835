#include "control/state_file.h"

#include <nlohmann/json.hpp>

#include "control/json_rules.h"
#include "control/state_document.h"
#include "platform/files.h"

bool LoadStateFile(const std::string& path, std::string* problem)
{
    std::string text;
    if (int error = ReadWholeFile(path.c_str(), &text); error != 0) {
        *problem = path + ": " + FileErrorText(error);
        return false;
    }
    JsonDocument document;
    StateDocument state;
    std::string why;
    if (!ParseJsonText(text, &document, &why) || !ParseStateDocument(document, &state, &why)) {
        *problem = path + ": " + why;
        return false;
    }
    ApplyStateDocument(state);
    return true;
}

bool SaveStateFile(const std::string& path, std::string* problem)
{
    if (int error = WriteFileAtomically(path.c_str(), StateDocumentText(BuildStateDocument())); error != 0) {
        *problem = path + ": " + FileErrorText(error);
        return false;
    }
    return true;
}
