#ifndef SSDPTESTPEER_H
#define SSDPTESTPEER_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>

// A plain SSDP peer for the tests: one socket joined to 239.255.255.250:1900
// on "lo" that records every datagram sent to the group, and one unicast
// socket that sends searches and records the answers.  Only for use inside
// the private network namespace of scripts/netns-run.
class SsdpTestPeer : public QObject
{
    Q_OBJECT
public:
    struct Datagram
    {
        QByteArray data;
        QHostAddress sender;
        quint16 senderPort = 0;
    };

    // The unicast socket binds to sourceAddress on a free port.
    explicit SsdpTestPeer(const QHostAddress& sourceAddress = QHostAddress::LocalHost);

    bool listen();
    bool sendToGroup(const QByteArray& datagram);
    bool sendTo(const QByteArray& datagram, const QHostAddress& address, quint16 port);
    quint16 unicastPort() const { return unicast.localPort(); }

    // Group datagrams that contain every one of the given pieces.
    QList<Datagram> groupDatagrams(const QList<QByteArray>& pieces = {}) const;
    QList<Datagram> answers(const QList<QByteArray>& pieces = {}) const;
    void clear();

    static bool isInsideTestNamespace();
    static const char* outsideNamespaceMessage();

private slots:
    void readGroup();
    void readUnicast();

private:
    QHostAddress source;
    QUdpSocket group;
    QUdpSocket unicast;
    QList<Datagram> groupReceived;
    QList<Datagram> unicastReceived;
};

// Skips a test that would send SSDP from the machine's own network namespace.
#define SSDP_REQUIRE_TEST_NAMESPACE()                                                   \
    do {                                                                                \
        if (!SsdpTestPeer::isInsideTestNamespace())                                     \
            QSKIP(SsdpTestPeer::outsideNamespaceMessage());                             \
    } while (false)

#endif
