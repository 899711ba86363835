#include "control/device_id_document.h"

#include <nlohmann/json.hpp>

JsonDocument BuildDeviceIdDocument(const DeviceIdentification& identification)
{
    JsonDocument document = JsonDocument::object();
    for (int id = 0; id < kDeviceIdObjectCount; ++id) {
        const DeviceIdObject& object = identification.objects[id];
        document[kDeviceIdObjectNames[id]] = std::string(object.text, object.length);
    }
    return document;
}

bool ParseDeviceIdDocument(const JsonDocument& document, const std::string& path, const DeviceIdentification& base,
                           DeviceIdentification* identification, std::string* problem)
{
    if (!document.is_object()) {
        *problem = Where(path) + "expected an object such as {\"VendorName\": \"Parvane\"}";
        return false;
    }
    if (!HasOnlyMembers(document, path,
                        {kDeviceIdObjectNames[0], kDeviceIdObjectNames[1], kDeviceIdObjectNames[2],
                         kDeviceIdObjectNames[3], kDeviceIdObjectNames[4], kDeviceIdObjectNames[5]},
                        problem)) {
        return false;
    }
    static_assert(kDeviceIdObjectCount == 6, "every object name is allowed above");
    DeviceIdentification read = base;
    for (int id = 0; id < kDeviceIdObjectCount; ++id) {
        const char* name = kDeviceIdObjectNames[id];
        if (!document.contains(name)) {
            continue;
        }
        const JsonDocument& value = document[name];
        if (!value.is_string()) {
            *problem = MemberPath(path, name) + ": must be a string, got " + JsonText(value);
            return false;
        }
        const std::string& text = value.get_ref<const std::string&>();
        if (!IsDeviceIdValue(text.data(), text.size())) {
            *problem = MemberPath(path, name) + ": " + DeviceIdValueProblem(text.data(), text.size());
            return false;
        }
        SetDeviceIdObject(&read, id, text.data(), text.size());
    }
    *identification = read;
    return true;
}
