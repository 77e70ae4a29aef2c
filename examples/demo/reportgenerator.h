#ifndef REPORTGENERATOR_H
#define REPORTGENERATOR_H

#include <QObject>
#include <QString>

class DeviceConfig;
class QDateTime;
class QTextDocument;

// Composes the device report as a rich-text document and exports it as an
// OpenDocument text file.  Its captions are translated in the context
// "ReportGenerator" of the library's embedded catalogue.
class ReportGenerator : public QObject
{
    Q_OBJECT
public:
    struct Report
    {
        const DeviceConfig* config = 0;
        int status = 0;
        QByteArray measurementLog;   // CSV: time,reading,unit
    };

    // The caller owns the document.
    static QTextDocument* compose(const Report& report);
    static bool exportOdf(const Report& report, const QString& fileName, QString* error = 0);

    static QString statusText(int status);
    // A date as the report and the demo print it (UTC, ISO day), or "-".
    static QString dateText(const QDateTime& date);
};

#endif
