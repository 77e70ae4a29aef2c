// Shows the login dialog, as an application would, and saves a picture of it:
//   show-login-dialog OUTPUT.png [ru]
// scripts/screenshots runs it under Xvfb.  Exits 2 without an output file,
// 1 when the Russian catalogue is missing or the picture cannot be saved.
#include <configurator-common/dialogautorization.h>

#include <QApplication>
#include <QTimer>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    QTranslator translator;
    if (args.value(2) == QLatin1String("ru")
        && !(translator.load(QStringLiteral(":/translations/common_ru.qm")) && app.installTranslator(&translator)))
        return 1;
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
