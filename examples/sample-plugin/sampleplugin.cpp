#include "sampleplugin.h"
#include "sampledevicefactory.h"

#include <configurator-common/pluginmanager.h>

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

bool SamplePlugin::initialize()
{
    // The page's texts follow the host's default locale; the plug-in brings
    // its own catalogue, so any host shows them translated.
    if (QLocale().language() == QLocale::Russian && QCoreApplication::instance()) {
        QTranslator* translator = new QTranslator(this);
        if (translator->load(QStringLiteral(":/sample-plugin/sample-plugin_ru.qm")))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
    return PluginManager::addDeviceFactory(new SampleDeviceFactory);
}
