#ifndef SSDPTESTPEER_H
#define SSDPTESTPEER_H

#include <algorithm>

#include <QList>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QUdpSocket>

// A plain SSDP peer for the tests: one socket joined to 239.255.255.250:1900
// on "lo" records every datagram sent to the group, one unicast socket sends
// searches and records the answers.  Only for use inside scripts/netns-run.
class SsdpTestPeer
{
public:
    // The unicast socket binds to source on a free port.
    bool listen(const QHostAddress& source = QHostAddress(QHostAddress::LocalHost))
    {
        QObject::connect(&group, &QUdpSocket::readyRead, [this] { drain(&group, &groupReceived); });
        QObject::connect(&unicast, &QUdpSocket::readyRead,
                         [this] { drain(&unicast, &unicastReceived); });
        const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
        if (!group.bind(QHostAddress::AnyIPv4, 1900, QUdpSocket::ShareAddress)
            || !group.joinMulticastGroup(groupAddress(), lo) || !unicast.bind(source, 0))
            return false;
        unicast.setMulticastInterface(lo);
        return true;
    }

    bool sendTo(const QByteArray& datagram, const QHostAddress& address = groupAddress(),
                quint16 port = 1900)
    {
        return unicast.writeDatagram(datagram, address, port) == datagram.size();
    }

    // Datagrams that contain every one of the given pieces.
    QList<QNetworkDatagram> groupDatagrams(const QList<QByteArray>& pieces = {}) const
    {
        return filtered(groupReceived, pieces);
    }
    QList<QNetworkDatagram> answers(const QList<QByteArray>& pieces = {}) const
    {
        return filtered(unicastReceived, pieces);
    }

    static QHostAddress groupAddress() { return QHostAddress(QStringLiteral("239.255.255.250")); }

    // The private namespace has lo and nothing else; the variable alone could
    // have been set by hand.
    static bool isInsideTestNamespace()
    {
        const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
        return qgetenv("CC_IN_NETNS") == "1" && interfaces.size() == 1
            && interfaces.first().name() == QLatin1String("lo");
    }

    // Runs "ip ARGUMENTS"; true when it succeeded.  Only inside the namespace.
    static bool runIp(const QStringList& arguments)
    {
        const QString ip = QStandardPaths::findExecutable(
            QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
        QProcess process;
        process.start(ip, arguments);
        return !ip.isEmpty() && process.waitForFinished(5000)
            && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

private:
    static void drain(QUdpSocket* socket, QList<QNetworkDatagram>* into)
    {
        while (socket->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket->receiveDatagram();
            if (!datagram.isValid())
                return;
            into->append(datagram);
        }
    }

    static QList<QNetworkDatagram> filtered(const QList<QNetworkDatagram>& all,
                                            const QList<QByteArray>& pieces)
    {
        QList<QNetworkDatagram> result;
        for (const QNetworkDatagram& datagram : all) {
            if (std::all_of(pieces.begin(), pieces.end(),
                            [&](const QByteArray& piece) { return datagram.data().contains(piece); }))
                result << datagram;
        }
        return result;
    }

    QUdpSocket group;
    QUdpSocket unicast;
    QList<QNetworkDatagram> groupReceived;
    QList<QNetworkDatagram> unicastReceived;
};

// Skips a test that would send SSDP from the machine's own network namespace.
#define SSDP_REQUIRE_TEST_NAMESPACE()                                                   \
    do {                                                                                \
        if (!SsdpTestPeer::isInsideTestNamespace())                                     \
            QSKIP("SSDP tests send multicast; run them only through scripts/netns-run"); \
    } while (false)

#endif
