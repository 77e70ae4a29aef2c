#ifndef SAMPLEPLUGIN_H
#define SAMPLEPLUGIN_H

#include <configurator-common/iconfiguratorplugin.h>

#include <QObject>

// The plug-in object that the plug-in manager loads.  Its only job is to
// register the plug-in's device factory; the manager then owns the factory.
class SamplePlugin : public QObject, public IConfiguratorPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IConfiguratorPlugin_iid)
    Q_INTERFACES(IConfiguratorPlugin)
public:
    bool initialize() override;
};

#endif
