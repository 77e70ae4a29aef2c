#include "serviceprotodata.h"

#include "json.h"

#include <QVariantMap>

namespace {

const char kStatusKey[] = "status";

} // namespace

ServiceProtoData::ServiceProtoData() = default;

ServiceProtoData::ServiceProtoData(const ServiceProtoData&) = default;

ServiceProtoData& ServiceProtoData::operator=(const ServiceProtoData&)
{
    return *this;
}

ServiceProtoData::~ServiceProtoData() = default;

QByteArray ServiceProtoData::toJson()
{
    QVariantMap wrapper;
    wrapper.insert(typeName(), toVariant());
    return QtJson::Json::serialize(wrapper);
}

bool ServiceProtoData::fromJson(QByteArray json)
{
    // Text ends at the first zero byte, as a C string would.
    const int end = json.indexOf('\0');
    const QString text = QString::fromUtf8(json.constData(), end < 0 ? json.size() : end);
    bool ok = false;
    const QVariant value = QtJson::Json::parse(text, ok);
    if (!ok || !value.isValid())
        return false;
    const QVariantMap map = value.toMap();
    if (map.count(typeName()) != 1)
        return false;
    return fromVariant(map.value(typeName()));
}

QVariant ProtoData::toVariant()
{
    return data;
}

bool ProtoData::fromVariant(QVariant value)
{
    data = value;
    return true;
}

QString ProtoData::typeName()
{
    return QStringLiteral("json");
}

QVariant ServiceProtoStatus::toVariant()
{
    QVariantMap map;
    map.insert(QLatin1String(kStatusKey), status);
    return map;
}

bool ServiceProtoStatus::fromVariant(QVariant value)
{
    status = value.toMap().value(QLatin1String(kStatusKey)).toInt();
    return true;
}

QString ServiceProtoStatus::typeName()
{
    return QStringLiteral("status");
}
