// Shows the login dialog, as an application would, and saves a picture of it:
//   show-login-dialog OUTPUT.png [ru]
// Used by scripts/screenshots under Xvfb.
#include <configurator-common/dialogautorization.h>

#include <QApplication>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: show-login-dialog OUTPUT.png [ru]\n");
        return 2;
    }
    QTranslator translator;
    if (args.value(2) == QLatin1String("ru")) {
        if (!translator.load(QStringLiteral(":/translations/common_ru.qm"))) {
            std::fprintf(stderr, "show-login-dialog: no embedded Russian catalogue\n");
            return 1;
        }
        app.installTranslator(&translator);
    }
    DialogAutorization dialog;
    dialog.setData(QVariantMap{{QStringLiteral("ip"), QStringLiteral("192.168.1.10")}});
    dialog.show();
    int status = 1;
    QTimer::singleShot(500, &dialog, [&] {   // let the window settle
        status = dialog.grab().save(args.at(1)) ? 0 : 1;
        app.quit();
    });
    app.exec();
    return status;
}
