#include "reportgenerator.h"

#include <configurator-common/device.h>
#include <configurator-common/deviceconfig.h>
#include <configurator-common/odfwriter.h>

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>

namespace {

const int kChartWidth = 720;
const int kChartHeight = 320;
const int kChartLeft = 84;
const int kChartRight = 24;
const int kChartTop = 20;
const int kChartBottom = 56;
const int kChartTicks = 5;
const char* const kChartName = "chart.png";
// A4 at the document's 96 pixels per inch, with 20 mm margins.
const qreal kA4WidthPx = 794;
const qreal kA4HeightPx = 1123;
const qreal kPageMarginPx = 76;
const qreal kHeadingSpacePx = 16;

// The log that a plug-in hands over as a reply of type "file": CSV with a
// header line and rows of time (ISO 8601), reading and unit.
struct Log
{
    QVector<QDateTime> times;
    QVector<double> values;
    QString unit;
};

Log readLog(const QByteArray& csv)
{
    Log log;
    const QList<QByteArray> lines = csv.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).trimmed().split(',');
        bool ok = false;
        const double value = fields.size() > 1 ? fields.at(1).toDouble(&ok) : 0.0;
        if (!ok)
            continue;
        log.times.append(QDateTime::fromString(QString::fromUtf8(fields.at(0)), Qt::ISODate));
        log.values.append(value);
        if (fields.size() > 2 && log.unit.isEmpty())
            log.unit = QString::fromUtf8(fields.at(2));
    }
    return log;
}

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(QStringLiteral("HH:mm:ss")) : QString();
}

QImage chart(const Log& log)
{
    QImage image(kChartWidth, kChartHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QRectF area(kChartLeft, kChartTop, kChartWidth - kChartLeft - kChartRight,
                      kChartHeight - kChartTop - kChartBottom);
    const QVector<double>& values = log.values;
    if (values.size() < 2) {
        painter.setPen(Qt::black);
        painter.drawRect(area);
        painter.drawText(area, Qt::AlignCenter, ReportGenerator::tr("No readings"));
        return image;
    }
    double low = *std::min_element(values.begin(), values.end());
    double high = *std::max_element(values.begin(), values.end());
    if (high - low < 1e-9)
        high = low + 1.0;
    const double pad = (high - low) * 0.05;
    low -= pad;
    high += pad;

    // Grid, y ticks with their values, x ticks with their times.
    const QFontMetrics metrics(font);
    for (int i = 0; i <= kChartTicks; ++i) {
        const double y = area.bottom() - area.height() * i / kChartTicks;
        painter.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), 1));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(Qt::black);
        painter.drawLine(QPointF(area.left() - 4, y), QPointF(area.left(), y));
        const QString label = QString::number(low + (high - low) * i / kChartTicks, 'f', 2);
        painter.drawText(QRectF(0, y - 8, area.left() - 8, 16), Qt::AlignRight | Qt::AlignVCenter, label);

        const int index = (values.size() - 1) * i / kChartTicks;
        const double x = area.left() + area.width() * index / (values.size() - 1);
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
        const QString time = log.times.value(index).isValid() ? timeText(log.times.at(index)) : QString::number(index + 1);
        const int width = metrics.horizontalAdvance(time);
        painter.drawText(QPointF(qBound(0.0, x - width / 2.0, double(kChartWidth - width)), area.bottom() + 18), time);
    }
    painter.setPen(QPen(Qt::black, 1.5));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());

    const QString xTitle = log.times.first().isValid() ? ReportGenerator::tr("Time (UTC)") : ReportGenerator::tr("Reading number");
    painter.drawText(QRectF(area.left(), kChartHeight - 20, area.width(), 18), Qt::AlignCenter, xTitle);
    painter.save();
    painter.translate(14, area.center().y());
    painter.rotate(-90);
    const QString yTitle = log.unit.isEmpty() ? ReportGenerator::tr("Reading")
                                              : ReportGenerator::tr("Reading, %1").arg(log.unit);
    painter.drawText(QRectF(-area.height() / 2, -10, area.height(), 20), Qt::AlignCenter, yTitle);
    painter.restore();

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

QString logSummary(const Log& log)
{
    if (log.values.isEmpty())
        return ReportGenerator::tr("The instrument's log was not downloaded.");
    const double low = *std::min_element(log.values.begin(), log.values.end());
    const double high = *std::max_element(log.values.begin(), log.values.end());
    return ReportGenerator::tr("%1 readings from %2 to %3 UTC; minimum %4 %6, maximum %5 %6.")
        .arg(log.values.size())
        .arg(ReportGenerator::dateText(log.times.first()) + QLatin1Char(' ') + timeText(log.times.first()),
             ReportGenerator::dateText(log.times.last()) + QLatin1Char(' ') + timeText(log.times.last()))
        .arg(low, 0, 'f', 3).arg(high, 0, 'f', 3).arg(log.unit);
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
    heading.setBottomMargin(kHeadingSpacePx);
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
    QTextBlockFormat section;
    section.setTopMargin(kHeadingSpacePx);
    section.setBottomMargin(kHeadingSpacePx / 2);
    cursor.insertBlock(section, QTextCharFormat());
    cursor.insertText(tr("Measurement log"), bold);
    const Log log = readLog(report.measurementLog);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(logSummary(log));
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());

    document->addResource(QTextDocument::ImageResource, QUrl(QLatin1String(kChartName)), chart(log));
    // The picture spans the text width between the page margins.
    const qreal width = kA4WidthPx - 2 * kPageMarginPx;
    QTextImageFormat image;
    image.setName(QLatin1String(kChartName));
    image.setWidth(width);
    image.setHeight(width * kChartHeight / kChartWidth);
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
