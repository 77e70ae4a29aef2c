#include "sampleplugin.h"
#include "sampledevicefactory.h"

#include <configurator-common/pluginmanager.h>

bool SamplePlugin::initialize()
{
    return PluginManager::addDeviceFactory(new SampleDeviceFactory);
}
