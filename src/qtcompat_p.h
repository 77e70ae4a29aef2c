#ifndef QTCOMPAT_P_H
#define QTCOMPAT_P_H

// Qt 5 calls that Qt 6 removed, written over calls that both have, so that the
// Qt 5 and the Qt 6 build give the same answers.

#include <QBitArray>
#include <QDateTime>
#include <QJsonValue>
#include <QLine>
#include <QRect>
#include <QUuid>
#include <QVariant>

#include <limits>

namespace QtCompat {

// QDateTime::toTime_t(): whole seconds since 1970 (UTC) as an unsigned 32-bit
// count, or uint(-1) for an invalid date and for one outside that range.
inline uint toTime_t(const QDateTime& date)
{
    if (!date.isValid())
        return std::numeric_limits<uint>::max();
    const qint64 seconds = date.toMSecsSinceEpoch() / 1000;
    if (seconds < 0 || seconds >= qint64(std::numeric_limits<uint>::max()))
        return std::numeric_limits<uint>::max();
    return uint(seconds);
}

// QVariant::isNull() of Qt 5: also true when the variant holds a value of a
// Qt Core type whose own isNull() is true, such as QString() or QByteArray().
// Qt 6 looks only at whether the variant holds anything.
inline bool isNull(const QVariant& value)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    switch (value.userType()) {
    case QMetaType::QString: return value.toString().isNull();
    case QMetaType::QByteArray: return value.toByteArray().isNull();
    case QMetaType::QBitArray: return value.toBitArray().isNull();
    case QMetaType::QChar: return value.toChar().isNull();
    case QMetaType::QDate: return value.toDate().isNull();
    case QMetaType::QTime: return value.toTime().isNull();
    case QMetaType::QDateTime: return value.toDateTime().isNull();
    case QMetaType::QUuid: return value.toUuid().isNull();
    case QMetaType::QPoint: return value.toPoint().isNull();
    case QMetaType::QPointF: return value.toPointF().isNull();
    case QMetaType::QSize: return value.toSize().isNull();
    case QMetaType::QSizeF: return value.toSizeF().isNull();
    case QMetaType::QRect: return value.toRect().isNull();
    case QMetaType::QRectF: return value.toRectF().isNull();
    case QMetaType::QLine: return value.toLine().isNull();
    case QMetaType::QLineF: return value.toLineF().isNull();
    case QMetaType::QJsonValue: return value.toJsonValue().isNull();
    default: return value.isNull();
    }
#else
    return value.isNull();
#endif
}

// QVariant's == of Qt 5: a right-hand side of another type is converted to
// the left-hand side's type first.  Qt 6 finds different types unequal,
// numbers aside.
inline bool equals(const QVariant& left, const QVariant& right)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    if (left.metaType() != right.metaType() && left.isValid() && right.canConvert(left.metaType())) {
        QVariant converted = right;
        if (converted.convert(left.metaType()))
            return left == converted;
    }
#endif
    return left == right;
}

} // namespace QtCompat

#endif // QTCOMPAT_P_H
