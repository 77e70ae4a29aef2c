#ifndef CONFIGURATOR_COMMON_REQUESTMANAGER_H
#define CONFIGURATOR_COMMON_REQUESTMANAGER_H

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

// Bookkeeping of the named requests that a page has sent to its device: what
// was asked, what came back, and whether every answer has arrived.
//
// A name is found by the first record whose own name occurs inside the given
// one (case-sensitive), so "status" also answers for "status/ethernet", and a
// record with an empty name answers for every name.
class RequestManager : public QObject
{
    Q_OBJECT
public:
    enum RequestDataType {
        RequestData = 0,
        ReplyData = 1
    };

    explicit RequestManager(QObject* parent = 0);
    ~RequestManager() override;

    // Ignored when the name is already found, request value included.
    void append(const QString& name);
    void append(const QString& name, const QVariant& request);

    // Stores the reply and marks it received; false when the name is unknown.
    bool apply(const QString& name, const QVariant& reply);
    // Marks the reply as awaited again; the last reply is kept.
    void reset(const QString& name);
    // True when every reply has arrived (also for no requests at all).
    bool check();

    QVariant data(RequestDataType type, const QString& name);
    QVariant data(RequestDataType type, int index);
    int indexOf(const QString& name);
    bool isReceived(const QString& name);
    bool isReceived(int index);

    void remove(const QString& name);
    void clear();
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
