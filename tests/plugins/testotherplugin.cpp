#include <QObject>
#include <QtPlugin>

// A well-formed Qt plug-in that is not a configurator plug-in.
class TestOtherPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "ru.vostrel.test.OtherInterface/1.0")
};

#include "testotherplugin.moc"
