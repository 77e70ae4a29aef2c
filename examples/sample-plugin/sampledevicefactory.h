#ifndef SAMPLEDEVICEFACTORY_H
#define SAMPLEDEVICEFACTORY_H

#include <configurator-common/idevicefactory.h>

// Makes sample devices, their page and their HTTP transport, and turns the
// page's request maps into HTTP requests to the instrument.
class SampleDeviceFactory : public IDeviceFactory
{
public:
    static QUuid uuid();

    QString name() const override;
    QUuid factoryUuid() const override;
    QString description() const override;
    Device* createDevice(QObject* parent = 0) override;
    QList<Page*> createPages(Device* device, QWidget* parent = 0) override;

    Connection* createConnection(const QString& type) override;
    bool prepareConnection(Connection* connection) override;
    void requestData(Connection* connection, const QString& pageId,
                     const QVariant& data, int timeout) override;
    void releaseConnection(Connection* connection) override;
};

#endif
