#include "modbus/device_identification.h"

#include <cstring>
#include <mutex>

#include "parvane_version.h"

namespace {

// Offsets within the fields that ReadDeviceIdObjects writes (response offset 10 on).
constexpr uint16_t kConformityField = 0;
constexpr uint16_t kMoreFollowsField = 1;
constexpr uint16_t kNextObjectIdField = 2;
constexpr uint16_t kObjectCountField = 3;
constexpr uint16_t kObjectsField = kDeviceIdObjectsOffset - kDeviceIdConformityOffset;

void SetText(DeviceIdObject* object, const char* text)
{
    object->length = static_cast<uint8_t>(std::strlen(text));
    std::memcpy(object->text, text, object->length);
}

DeviceIdentification Defaults()
{
    DeviceIdentification identification{};
    const char* const texts[kDeviceIdObjectCount] = {"Parvane", "parvane", PARVANE_VERSION, "", "Parvane",
                                                     "Modbus/TCP test server"};
    for (int id = 0; id < kDeviceIdObjectCount; ++id) {
        SetText(&identification.objects[id], texts[id]);
    }
    return identification;
}

// DeviceIdentificationLock guards DeviceIdObjects. A request holds it for one copy of at most
// 250 bytes; the operator's change for one copy of the whole record.
std::mutex DeviceIdentificationLock;
DeviceIdentification DeviceIdObjects = Defaults();

// The last object id a stream of this read code reaches. The device has no extended objects, so
// an extended stream is a regular one.
uint8_t LastObjectIdOf(uint8_t readCode)
{
    return readCode == kReadDeviceIdBasic ? kLastBasicObjectId : kLastRegularObjectId;
}

uint16_t AppendObject(uint8_t id, uint8_t* fields, uint16_t at)
{
    const DeviceIdObject& object = DeviceIdObjects.objects[id];
    fields[at] = id;
    fields[at + 1] = object.length;
    std::memcpy(fields + at + kDeviceIdObjectHeaderSize, object.text, object.length);
    return static_cast<uint16_t>(at + kDeviceIdObjectHeaderSize + object.length);
}

}  // namespace

DeviceIdentification DefaultDeviceIdentification()
{
    return Defaults();
}

DeviceIdentification ReadDeviceIdentification()
{
    std::lock_guard<std::mutex> hold(DeviceIdentificationLock);
    return DeviceIdObjects;
}

void ApplyDeviceIdentification(const DeviceIdentification& identification)
{
    std::lock_guard<std::mutex> hold(DeviceIdentificationLock);
    DeviceIdObjects = identification;
}

int DeviceIdObjectOfName(const char* name, size_t length)
{
    for (int id = 0; id < kDeviceIdObjectCount; ++id) {
        if (std::strlen(kDeviceIdObjectNames[id]) == length && std::memcmp(kDeviceIdObjectNames[id], name, length) == 0) {
            return id;
        }
    }
    return -1;
}

bool IsDeviceIdValue(const char* text, size_t length)
{
    if (length > kMaxDeviceIdValueLength) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E) {
            return false;
        }
    }
    return true;
}

std::string DeviceIdValueProblem(const char* text, size_t length)
{
    if (length > kMaxDeviceIdValueLength) {
        return "must be at most " + std::to_string(kMaxDeviceIdValueLength) + " characters, got " +
               std::to_string(length);
    }
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E) {
            return "must be printable ASCII (0x20 to 0x7E), got byte " + std::to_string(static_cast<uint8_t>(text[i])) +
                   " at " + std::to_string(i);
        }
    }
    return "";
}

void SetDeviceIdObject(DeviceIdentification* identification, int objectId, const char* text, size_t length)
{
    DeviceIdObject& object = identification->objects[objectId];
    object.length = static_cast<uint8_t>(length);
    std::memcpy(object.text, text, length);
}

uint16_t ReadDeviceIdObjects(uint8_t readCode, uint8_t objectId, uint8_t* fields)
{
    fields[kConformityField] = kDeviceIdConformityLevel;
    fields[kMoreFollowsField] = 0;
    fields[kNextObjectIdField] = 0;
    std::lock_guard<std::mutex> hold(DeviceIdentificationLock);
    if (readCode == kReadDeviceIdIndividual) {
        if (objectId > kLastRegularObjectId) {
            return 0;
        }
        fields[kObjectCountField] = 1;
        return AppendObject(objectId, fields, kObjectsField);
    }
    // A stream that starts at an object it does not reach starts again at object 0. It takes
    // objects while they fit one response; the first that does not is the next object id the
    // client asks for, with "more follows" set.
    const uint8_t lastId = LastObjectIdOf(readCode);
    uint8_t id = objectId <= lastId ? objectId : 0;
    uint16_t at = kObjectsField;
    uint8_t count = 0;
    for (; id <= lastId; ++id) {
        const uint16_t size = kDeviceIdObjectHeaderSize + DeviceIdObjects.objects[id].length;
        if (at + size > kObjectsField + kDeviceIdObjectsCapacity) {
            fields[kMoreFollowsField] = kDeviceIdMoreFollows;
            fields[kNextObjectIdField] = id;
            break;
        }
        at = AppendObject(id, fields, at);
        ++count;
    }
    fields[kObjectCountField] = count;
    return at;
}
