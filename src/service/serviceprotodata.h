#ifndef CONFIGURATOR_COMMON_SERVICEPROTODATA_H
#define CONFIGURATOR_COMMON_SERVICEPROTODATA_H

#include <QByteArray>
#include <QString>
#include <QVariant>

/// \file
/// The payloads of the service protocol client.

/// A payload of the service protocol client.  Its JSON form is an object with
/// one member, keyed by typeName(), holding toVariant().
class ServiceProtoData
{
public:
    /// An empty payload.
    ServiceProtoData();
    /// Copies nothing: the base holds no data.
    ServiceProtoData(const ServiceProtoData& other);
    /// Copies nothing: the base holds no data.
    ServiceProtoData& operator=(const ServiceProtoData& other);
    virtual ~ServiceProtoData();

    /// The payload as a variant tree.
    virtual QVariant toVariant() = 0;
    /// Takes the payload from a variant tree; false when it does not fit.
    virtual bool fromVariant(QVariant value) = 0;
    /// The key of the payload's JSON form.
    virtual QString typeName() = 0;

    /// {typeName(): toVariant()} as JSON text.
    virtual QByteArray toJson();
    /// Accepts what toJson() writes (also with further members); leaves the
    /// payload unchanged on false.
    virtual bool fromJson(QByteArray json);
};

/// The decoded JSON body of a successful response.
class ProtoData : public ServiceProtoData
{
public:
    /// The body as parsed.
    QVariant toVariant() override;
    /// Stores \a value as the body; always true.
    bool fromVariant(QVariant value) override;
    /// "json"
    QString typeName() override;

    /// The parsed JSON body.
    QVariant data;
};

/// The bare status of a response that carried no data.
class ServiceProtoStatus : public ServiceProtoData
{
public:
    /// {"status": status}
    QVariant toVariant() override;
    /// Takes "status" from the map (0 when missing); always true.
    bool fromVariant(QVariant value) override;
    /// "status"
    QString typeName() override;

    /// A RestMessage::ResponseStatus value, or any other number received.
    int status = 200;
};

#endif // CONFIGURATOR_COMMON_SERVICEPROTODATA_H
