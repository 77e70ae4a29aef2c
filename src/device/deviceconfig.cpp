#include "deviceconfig.h"

#include "qtcompat_p.h"

#include <QtMath>

namespace {

bool sameSecond(const QDateTime& a, const QDateTime& b)
{
    return QtCompat::toTime_t(a) == QtCompat::toTime_t(b);
}

// Exact equality, except that two NaNs (a device may report "nan") are the
// same value: otherwise a record would never equal its own copy.
bool sameNumber(double a, double b)
{
    return a == b || (qIsNaN(a) && qIsNaN(b));
}

// One direction of the comparison: every entry of `from` must be matched in
// `to`.  A top-level entry missing on the other side only matters when it is
// a non-empty map; second-level values compare by text.
bool coveredBy(const QMap<QString, QVariant>& from, const QMap<QString, QVariant>& to)
{
    for (auto it = from.constBegin(); it != from.constEnd(); ++it) {
        const QVariant counterpart = to.value(it.key());
        if (QtCompat::isNull(counterpart)) {
            if (!it.value().toMap().isEmpty())
                return false;
            continue;
        }
        if (it.value().userType() != QMetaType::QVariantMap) {
            if (it.value().toString() != counterpart.toString())
                return false;
            continue;
        }
        const QVariantMap group = it.value().toMap();
        const QVariantMap otherGroup = counterpart.toMap();
        for (auto entry = group.constBegin(); entry != group.constEnd(); ++entry) {
            // A key present with a null value on both sides is the same
            // setting; only a missing key is a difference.
            const auto found = otherGroup.constFind(entry.key());
            if (found == otherGroup.constEnd())
                return false;
            if (found.value().toString() != entry.value().toString())
                return false;
        }
    }
    return true;
}

} // namespace

DeviceConfig::DeviceConfig()
    : accuracyClass(0.0)
{
}

DeviceConfig::DeviceConfig(const DeviceConfig& other) = default;
DeviceConfig& DeviceConfig::operator=(const DeviceConfig& other) = default;
DeviceConfig::~DeviceConfig() = default;

bool DeviceConfig::operator==(const DeviceConfig& other) const
{
    return ConnectionSettings::operator==(other)
        && serial == other.serial
        && location == other.location
        && model == other.model
        && description == other.description
        && sameSecond(productionDate, other.productionDate)
        && certificateSerial == other.certificateSerial
        && sameSecond(lastVerificationDate, other.lastVerificationDate)
        && sameSecond(nextVerificationDate, other.nextVerificationDate)
        && sameNumber(accuracyClass, other.accuracyClass)
        && isConfigDataChanged(other.configData);
}

bool DeviceConfig::isConfigDataChanged(const QMap<QString, QVariant>& other) const
{
    return coveredBy(other, configData) && coveredBy(configData, other);
}
