#ifndef SSDPTESTPEER_H
#define SSDPTESTPEER_H

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTest>
#include <QUdpSocket>

// A plain SSDP peer: `group` records every datagram sent to 239.255.255.250:1900
// on lo, `unicast` sends from source and records the answers.  Only for use
// inside scripts/netns-run.
struct SsdpTestPeer
{
    QUdpSocket group, unicast;
    QList<QNetworkDatagram> groupReceived, answersReceived;

    bool listen(const QHostAddress& source = QHostAddress(QHostAddress::LocalHost))
    {
        QObject::connect(&group, &QUdpSocket::readyRead, [this] { drain(&group, &groupReceived); });
        QObject::connect(&unicast, &QUdpSocket::readyRead, [this] { drain(&unicast, &answersReceived); });
        const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
        if (!group.bind(QHostAddress::AnyIPv4, 1900, QUdpSocket::ShareAddress)
            || !group.joinMulticastGroup(groupAddress(), lo) || !unicast.bind(source, 0))
            return false;
        unicast.setMulticastInterface(lo);
        return true;
    }
    bool sendTo(const QByteArray& datagram, const QHostAddress& address = groupAddress(), quint16 port = 1900)
    {
        return unicast.writeDatagram(datagram, address, port) == datagram.size();
    }
    // Datagrams that contain the piece.
    static QList<QNetworkDatagram> with(const QList<QNetworkDatagram>& all, const QByteArray& piece)
    {
        QList<QNetworkDatagram> result;
        for (const QNetworkDatagram& datagram : all)
            if (datagram.data().contains(piece))
                result << datagram;
        return result;
    }
    static QHostAddress groupAddress() { return QHostAddress(QStringLiteral("239.255.255.250")); }
    static void drain(QUdpSocket* socket, QList<QNetworkDatagram>* into)
    {
        while (socket->hasPendingDatagrams())
            into->append(socket->receiveDatagram());
    }
};

#endif
