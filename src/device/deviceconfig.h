#ifndef CONFIGURATOR_COMMON_DEVICECONFIG_H
#define CONFIGURATOR_COMMON_DEVICECONFIG_H

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVariant>

#include "connection.h"

/// \file
/// DeviceConfig, the configuration record of one device.

/// The configuration record of one device: how to reach it, what it reported
/// about itself, and the configuration groups its pages edit.  It begins with
/// the ConnectionSettings part, so a DeviceConfig* serves as a connection's
/// settings and the transport always sees the current values.
struct DeviceConfig : public ConnectionSettings
{
    /// An empty record: null address and dates, accuracy class 0.
    DeviceConfig();
    /// Copies every field.
    DeviceConfig(const DeviceConfig& other);
    /// Copies every field.
    DeviceConfig& operator=(const DeviceConfig& other);
    /// Destroys the record.
    ~DeviceConfig();

    /// Field by field, dates to the second, two NaN accuracy classes equal;
    /// configData through isConfigDataChanged().
    bool operator==(const DeviceConfig& other) const;
    /// The negation of operator==().
    bool operator!=(const DeviceConfig& other) const { return !(*this == other); }

    /// True when configData and other hold the same configuration (despite
    /// the name, true means "no difference").  Values compare by their text,
    /// so 1 and "1" are equal; a missing group equals an empty one.
    bool isConfigDataChanged(const QMap<QString, QVariant>& other) const;

    QString serial;                 ///< Serial number; the device reports it as "serialNumer".
    QString location;               ///< Where the device is installed; set by the application.
    QString model;                  ///< Model name, from "model".
    QString description;            ///< Free text, from "description".
    QDateTime productionDate;       ///< From "productionDate", seconds since 1970.
    QString certificateSerial;      ///< Verification certificate, from "certificateSerial".
    QDateTime lastVerificationDate; ///< From "lastVerificationDate", seconds since 1970.
    QDateTime nextVerificationDate; ///< From "nextVerificationDate", seconds since 1970.
    double accuracyClass;           ///< From "accuracyClass", a number.
    /// Group name (as a rule a page identifier) to that group's QVariantMap.
    QMap<QString, QVariant> configData;
};

#endif
