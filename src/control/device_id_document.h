#pragma once

#include <string>

#include "control/json_rules.h"

#include "modbus/device_identification.h"

// The Read Device Identification objects as a document, by name in object id order:
//   {"VendorName": "Parvane", "ProductCode": "parvane", "MajorMinorRevision": "1.0", "VendorUrl": "",
//    "ProductName": "Parvane", "ModelName": "Modbus/TCP test server"}
// Each value is at most 244 printable ASCII characters, as --device-id takes it.

JsonDocument BuildDeviceIdDocument(const DeviceIdentification& identification);

// Reads a document that may name any of the objects: each one it names replaces that object of
// `base`, the others keep base's. The whole document is checked before *identification is written;
// false with *problem naming the member and the rule. `path` names the document within a larger one
// ("deviceId" gives "deviceId.VendorName: ..."); empty for a document of its own.
bool ParseDeviceIdDocument(const JsonDocument& document, const std::string& path, const DeviceIdentification& base,
                           DeviceIdentification* identification, std::string* problem);
