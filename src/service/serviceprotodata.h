#ifndef CONFIGURATOR_COMMON_SERVICEPROTODATA_H
#define CONFIGURATOR_COMMON_SERVICEPROTODATA_H

#include <QByteArray>
#include <QString>
#include <QVariant>

// A payload of the service protocol client.  Its JSON form is an object with
// one member, keyed by typeName(), holding toVariant().
class ServiceProtoData
{
public:
    ServiceProtoData();
    ServiceProtoData(const ServiceProtoData& other);
    ServiceProtoData& operator=(const ServiceProtoData& other);
    virtual ~ServiceProtoData();

    virtual QVariant toVariant() = 0;
    virtual bool fromVariant(QVariant value) = 0;
    virtual QString typeName() = 0;

    virtual QByteArray toJson();
    // Accepts what toJson() writes (also with further members); leaves the
    // payload unchanged on false.
    virtual bool fromJson(QByteArray json);
};

// The decoded JSON body of a successful response.
class ProtoData : public ServiceProtoData
{
public:
    QVariant toVariant() override;
    bool fromVariant(QVariant value) override;
    QString typeName() override;

    QVariant data;
};

// The bare status of a response that carried no data.
class ServiceProtoStatus : public ServiceProtoData
{
public:
    QVariant toVariant() override;
    bool fromVariant(QVariant value) override;
    QString typeName() override;

    // A RestMessage::ResponseStatus value, or any other number received.
    int status = 200;
};

#endif // CONFIGURATOR_COMMON_SERVICEPROTODATA_H
