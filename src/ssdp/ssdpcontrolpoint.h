#ifndef CONFIGURATOR_COMMON_SSDPCONTROLPOINT_H
#define CONFIGURATOR_COMMON_SSDPCONTROLPOINT_H

#include <QList>
#include <QObject>
#include <QScopedPointer>
#include <QString>
#include <QUrl>

class QHostAddress;
class QNetworkInterface;
class QNetworkRequest;
class SsdpControlPointPrivate;

/// \file
/// SsdpControlPoint, the searching side of SSDP discovery.

/// The searching side of SSDP discovery: sends one M-SEARCH per search to the
/// multicast group and reports, when the search time is up, the address and
/// port of every node that answered for the searched target.  It takes no
/// parent: its owner (ServiceProtoClient) holds it as a member object.
class SsdpControlPoint : public QObject
{
    Q_OBJECT

public:
    /// Creates a control point with no interface open.
    SsdpControlPoint();
    /// Closes the socket; a running search ends without searchDone().
    ~SsdpControlPoint() override;

    /// Binds to the interface's first IPv4 address on port 1900 and joins the
    /// SSDP group; true when bound and joined.  An interface that is already
    /// open and joined is kept as it is; one without IPv4 address gives false.
    bool openInterface(const QNetworkInterface& iface);

    /// Sends one search for target to address:port and emits searchDone()
    /// timeout milliseconds later (a negative one counts as 0).  Ignored
    /// while a search is running.
    void search(const QString& target, const QHostAddress& address, int port, int timeout);

signals:
    /// Once per search: one "udp://host:port" URL per accepted answer, in
    /// order of arrival; a node that answered twice is listed twice.  At most
    /// 1024 answers are kept.
    void searchDone(const QList<QUrl>& results);

protected slots:
    /// Reads the socket's datagrams and keeps the answers whose ST is the
    /// searched target.
    void readPendingDatagrams();
    /// Ends the search: emits searchDone().
    void searchTimeout();

private:
    void sendRequest(const QNetworkRequest& request);
    void processReply(const QHostAddress& sender, int port, const QNetworkRequest& reply);

    Q_DISABLE_COPY(SsdpControlPoint)
    QScopedPointer<SsdpControlPointPrivate> d;
};

#endif // CONFIGURATOR_COMMON_SSDPCONTROLPOINT_H
