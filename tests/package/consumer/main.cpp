// A plug-in author's first program: it includes the installed headers by their
// flat names and uses the library's types across the library boundary.
#include <configurator-common/connection.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/iconfiguratorplugin.h>

#include <QCoreApplication>
#include <cstdio>

class ProbeConnection : public Connection
{
public:
    void goOnline() { emit connected(); }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ConnectionSettings settings;
    settings.address = QHostAddress("127.0.0.1");
    settings.login = "user";

    ProbeConnection connection;
    connection.setConnectionSettings(&settings);
    connection.goOnline();
    if (!connection.isConnected() || connection.connectionSettings() != &settings) {
        std::fprintf(stderr, "consumer: connection does not work across the package\n");
        return 1;
    }
    if (qstrcmp(qobject_interface_iid<IConfiguratorPlugin*>(), "ru.vostrel.IConfiguratorPlugin/1.0") != 0) {
        std::fprintf(stderr, "consumer: wrong plug-in interface identifier\n");
        return 1;
    }
    std::printf("consumer: ok\n");
    return 0;
}
