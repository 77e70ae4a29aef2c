#include "reportgenerator.h"

#include <configurator-common/device.h>
#include <configurator-common/deviceconfig.h>
#include <configurator-common/odfwriter.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

namespace {

const int kChartWidth = 640;
const int kChartHeight = 240;
const int kChartMargin = 24;
const char* const kChartName = "chart.png";
// A4 at the document's 96 pixels per inch, with 20 mm margins.
const qreal kA4WidthPx = 794;
const qreal kA4HeightPx = 1123;
const qreal kPageMarginPx = 76;

QVector<double> readings(const QByteArray& csv)
{
    QVector<double> values;
    const QList<QByteArray> lines = csv.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(',');
        bool ok = false;
        const double value = fields.size() > 1 ? fields.at(1).toDouble(&ok) : 0.0;
        if (ok)
            values.append(value);
    }
    return values;
}

QImage chart(const QVector<double>& values)
{
    QImage image(kChartWidth, kChartHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(kChartMargin, kChartMargin, kChartWidth - 2 * kChartMargin,
                      kChartHeight - 2 * kChartMargin);
    painter.setPen(QPen(Qt::gray, 1));
    painter.drawRect(area);
    if (values.size() < 2)
        return image;
    double low = values.first();
    double high = low;
    for (double v : values) {
        low = qMin(low, v);
        high = qMax(high, v);
    }
    if (high - low < 1e-9)
        high = low + 1.0;
    QPolygonF line;
    for (int i = 0; i < values.size(); ++i) {
        const double x = area.left() + area.width() * i / (values.size() - 1);
        const double y = area.bottom() - area.height() * (values.at(i) - low) / (high - low);
        line << QPointF(x, y);
    }
    painter.setPen(QPen(QColor(0x1f, 0x6f, 0xb5), 2));
    painter.drawPolyline(line);
    return image;
}

void addRow(QTextTable* table, int row, const QString& caption, const QString& value)
{
    table->cellAt(row, 0).firstCursorPosition().insertText(caption);
    table->cellAt(row, 1).firstCursorPosition().insertText(value);
}

} // namespace

QString ReportGenerator::dateText(const QDateTime& date)
{
    return date.isValid() ? date.toUTC().toString(QStringLiteral("yyyy-MM-dd")) : QStringLiteral("-");
}

QString ReportGenerator::statusText(int status)
{
    switch (status) {
    case StatusOnline: return tr("Online");
    case StatusNoResponse: return tr("No response");
    case StatusAuthRequired: return tr("Authorization required");
    default: return tr("Unknown");
    }
}

QTextDocument* ReportGenerator::compose(const Report& report)
{
    const DeviceConfig& config = *report.config;
    QTextDocument* document = new QTextDocument;
    document->setPageSize(QSizeF(kA4WidthPx, kA4HeightPx));
    QTextFrameFormat page = document->rootFrame()->frameFormat();
    page.setMargin(kPageMarginPx);
    document->rootFrame()->setFrameFormat(page);
    QTextCursor cursor(document);

    QTextBlockFormat heading;
    heading.setHeadingLevel(1);
    QTextCharFormat headingChars;
    headingChars.setFontPointSize(18);
    headingChars.setFontWeight(QFont::Bold);
    cursor.setBlockFormat(heading);
    cursor.insertText(tr("Device report"), headingChars);

    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());

    QTextTableFormat tableFormat;
    tableFormat.setHeaderRowCount(1);
    tableFormat.setCellPadding(4);
    tableFormat.setBorder(1);
    QTextTable* table = cursor.insertTable(9, 2, tableFormat);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    table->cellAt(0, 0).firstCursorPosition().insertText(tr("Description"), bold);
    table->cellAt(0, 1).firstCursorPosition().insertText(config.description, bold);
    addRow(table, 1, tr("Model"), config.model);
    addRow(table, 2, tr("Serial number"), config.serial);
    addRow(table, 3, tr("Production date"), dateText(config.productionDate));
    addRow(table, 4, tr("Accuracy class"), QString::number(config.accuracyClass));
    addRow(table, 5, tr("Verification certificate"), config.certificateSerial);
    addRow(table, 6, tr("Last verification"), dateText(config.lastVerificationDate));
    addRow(table, 7, tr("Next verification"), dateText(config.nextVerificationDate));
    addRow(table, 8, tr("Status"), statusText(report.status));

    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(tr("Measurement log"), bold);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());

    const QVector<double> values = readings(report.measurementLog);
    document->addResource(QTextDocument::ImageResource, QUrl(QLatin1String(kChartName)), chart(values));
    QTextImageFormat image;
    image.setName(QLatin1String(kChartName));
    image.setWidth(kChartWidth / 2);
    image.setHeight(kChartHeight / 2);
    cursor.insertImage(image);
    return document;
}

bool ReportGenerator::exportOdf(const Report& report, const QString& fileName, QString* error)
{
    QScopedPointer<QTextDocument> document(compose(report));
    QFile file(fileName);
    OdfWriter writer(*document, &file);
    if (!writer.writeAll()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
