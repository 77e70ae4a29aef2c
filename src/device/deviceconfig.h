#ifndef CONFIGURATOR_COMMON_DEVICECONFIG_H
#define CONFIGURATOR_COMMON_DEVICECONFIG_H

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVariant>

#include "connection.h"

// The configuration record of one device: how to reach it, what it reported
// about itself, and the configuration groups its pages edit.  It begins with
// the ConnectionSettings part, so a DeviceConfig* serves as a connection's
// settings and the transport always sees the current values.
struct DeviceConfig : public ConnectionSettings
{
    DeviceConfig();
    DeviceConfig(const DeviceConfig& other);
    DeviceConfig& operator=(const DeviceConfig& other);
    ~DeviceConfig();

    // Field by field, dates to the second; configData through
    // isConfigDataChanged().
    bool operator==(const DeviceConfig& other) const;
    bool operator!=(const DeviceConfig& other) const { return !(*this == other); }

    // True when configData and other hold the same configuration (despite
    // the name, true means "no difference").  Values compare by their text,
    // so 1 and "1" are equal.
    bool isConfigDataChanged(const QMap<QString, QVariant>& other) const;

    QString serial;
    QString location;
    QString model;
    QString description;
    QDateTime productionDate;
    QString certificateSerial;
    QDateTime lastVerificationDate;
    QDateTime nextVerificationDate;
    double accuracyClass;
    // Group name (as a rule a page identifier) to that group's QVariantMap.
    QMap<QString, QVariant> configData;
};

#endif
