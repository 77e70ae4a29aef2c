#ifndef SAMPLEPROTOCOL_H
#define SAMPLEPROTOCOL_H

// The vocabulary that the sample plug-in and the device simulator share: the
// request maps that pages send, and the HTTP paths of the instrument's API.

namespace SampleProtocol {

// The identity of the sample device factory.
constexpr const char* kFactoryUuid = "{6f1c8a52-3d7e-4b19-9a40-2f5e8c1d7b63}";

// Request maps: {"request": <kind>, ...}
constexpr const char* kRequestKey = "request";
constexpr const char* kDeviceInfo = "deviceInfo";
constexpr const char* kDeviceStatus = "deviceStatus";
constexpr const char* kReadConfig = "readConfig";     // + "group"
constexpr const char* kWriteConfig = "writeConfig";   // + "group", "values"
constexpr const char* kDownloadLog = "downloadLog";
constexpr const char* kGroupKey = "group";
constexpr const char* kValuesKey = "values";

// HTTP paths on the instrument.
constexpr const char* kInfoPath = "/api/info";
constexpr const char* kStatusPath = "/api/status";
constexpr const char* kConfigPath = "/api/config/";   // + group name
constexpr const char* kLogPath = "/api/log";

// The configuration group that the sample page edits on the instrument.
constexpr const char* kMeasurementGroup = "measurement";

// The port comes with the connection settings.  A record stored before they
// had one kept it in this configuration group: {"network": {"port": 8080}};
// the group may also cap every request's time-out (ms): {"network": {"timeout": 2000}}.
constexpr const char* kNetworkGroup = "network";
constexpr const char* kPortKey = "port";
constexpr const char* kTimeoutKey = "timeout";
constexpr int kDefaultHttpPort = 80;

} // namespace SampleProtocol

#endif
