#ifndef CONFIGURATOR_COMMON_REQUESTMANAGER_H
#define CONFIGURATOR_COMMON_REQUESTMANAGER_H

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

/// \file
/// RequestManager, the bookkeeping of a page's requests.

/// Bookkeeping of the named requests that a page has sent to its device: what
/// was asked, what came back, and whether every answer has arrived.
///
/// A name is found by the first record whose own name occurs inside the given
/// one (case-sensitive), so "status" also answers for "status/ethernet", and a
/// record with an empty name answers for every name.
class RequestManager : public QObject
{
    Q_OBJECT
public:
    /// Which value of a record data() returns.
    enum RequestDataType {
        RequestData = 0,    ///< The request as appended.
        ReplyData = 1       ///< The reply applied last.
    };

    /// Creates an empty bookkeeper.
    explicit RequestManager(QObject* parent = 0);
    /// Deletes every record.
    ~RequestManager() override;

    /// Adds a request without a value, awaiting its reply.  Ignored when the
    /// name is already found.
    void append(const QString& name);
    /// Adds a request with its value, awaiting its reply.  Ignored when the
    /// name is already found, request value included.
    void append(const QString& name, const QVariant& request);

    /// Stores the reply and marks it received; false when the name is unknown.
    bool apply(const QString& name, const QVariant& reply);
    /// Marks the reply as awaited again; the last reply is kept.
    void reset(const QString& name);
    /// True when every reply has arrived (also for no requests at all).
    bool check();

    /// The request or reply of the record found for \a name; invalid when none.
    QVariant data(RequestDataType type, const QString& name);
    /// The request or reply of the record at \a index; invalid when out of range.
    QVariant data(RequestDataType type, int index);
    /// The position of the record found for \a name, or -1.
    int indexOf(const QString& name);
    /// True when the reply of the record found for \a name has arrived.
    bool isReceived(const QString& name);
    /// True when the reply of the record at \a index has arrived; false out of range.
    bool isReceived(int index);

    /// Removes the record found for \a name, if any.
    void remove(const QString& name);
    /// Removes every record.
    void clear();
    /// The number of records.
    int size();

private:
    struct RequestRecord
    {
        QString name;
        QVariant request;
        QVariant reply;
        bool received;
    };

    static QVariant field(const RequestRecord& record, RequestDataType type);
    bool isValidIndex(int index) const;

    QList<RequestRecord*> m_records; // owned
};

#endif
