#include <QObject>
#include <QtPlugin>

// A well-formed Qt plug-in that is not a configurator plug-in.
class OtherInterface
{
public:
    virtual ~OtherInterface() {}
    virtual int answer() const = 0;
};

#define OtherInterface_iid "ru.vostrel.test.OtherInterface/1.0"
Q_DECLARE_INTERFACE(OtherInterface, OtherInterface_iid)

class TestOtherPlugin : public QObject, public OtherInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OtherInterface_iid)
    Q_INTERFACES(OtherInterface)
public:
    int answer() const override { return 42; }
};

#include "testotherplugin.moc"
