#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "modbus/modbus_limits.h"

// The objects that Read Device Identification (code 43, MEI type 14) answers: the basic ones
// (0 to 2) and the regular ones (3 to 5), by object id. Held in fixed storage guarded by
// DeviceIdentificationLock; the operator sets them (--device-id, the control interface), clients
// read them.

inline constexpr int kDeviceIdObjectCount = 6;
inline constexpr uint8_t kLastBasicObjectId = 2;
inline constexpr uint8_t kLastRegularObjectId = kDeviceIdObjectCount - 1;

// Names by object id, as --device-id and the control interface take them.
inline constexpr const char* kDeviceIdObjectNames[kDeviceIdObjectCount] = {
    "VendorName", "ProductCode", "MajorMinorRevision", "VendorUrl", "ProductName", "ModelName"};

struct DeviceIdObject {
    uint8_t length;
    char text[kMaxDeviceIdValueLength];
};

struct DeviceIdentification {
    DeviceIdObject objects[kDeviceIdObjectCount];
};

// A fresh launch's objects: "Parvane", "parvane", the program's version, and so on.
DeviceIdentification DefaultDeviceIdentification();

// The objects as they are now, and all of them replaced, each in one hold of the lock.
DeviceIdentification ReadDeviceIdentification();
void ApplyDeviceIdentification(const DeviceIdentification& identification);

// The object id of a name, or -1 when no object has that name.
int DeviceIdObjectOfName(const char* name, size_t length);

// Whether text can be an object's value: at most 244 bytes, printable ASCII (0x20 to 0x7E) only, so
// that every client shows it as sent.
bool IsDeviceIdValue(const char* text, size_t length);
// Why IsDeviceIdValue refuses text, as messages say it: "must be at most 244 characters, got 300".
std::string DeviceIdValueProblem(const char* text, size_t length);

// Sets one object of *identification; the caller has checked the value with IsDeviceIdValue.
void SetDeviceIdObject(DeviceIdentification* identification, int objectId, const char* text, size_t length);

// The part of a response from the conformity level on (conformity level, more follows, next object
// id, number of objects, objects) into `fields`, which has room for 250 bytes, copied under the
// lock. Returns its length, or 0 when individual access names an object the device lacks. The
// caller has checked readCode (1 to 4).
uint16_t ReadDeviceIdObjects(uint8_t readCode, uint8_t objectId, uint8_t* fields);
