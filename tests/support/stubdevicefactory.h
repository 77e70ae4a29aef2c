#ifndef STUBDEVICEFACTORY_H
#define STUBDEVICEFACTORY_H

#include <configurator-common/idevicefactory.h>

#include <QUuid>

// A device factory that does nothing; tests override the calls they watch.
class StubDeviceFactory : public IDeviceFactory
{
public:
    explicit StubDeviceFactory(const QUuid& uuid = QUuid::createUuid()) : m_uuid(uuid) {}
    QString name() const override { return QStringLiteral("stub"); }
    QUuid factoryUuid() const override { return m_uuid; }
    QString description() const override { return QString(); }
    Device* createDevice(QObject*) override { return nullptr; }
    QList<Page*> createPages(Device*, QWidget*) override { return {}; }
    Connection* createConnection(const QString&) override { return nullptr; }
    bool prepareConnection(Connection*) override { return true; }
    void requestData(Connection*, const QString&, const QVariant&, int) override {}
    void releaseConnection(Connection*) override {}

private:
    QUuid m_uuid;
};

#endif
