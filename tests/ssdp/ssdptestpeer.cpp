#include "ssdptestpeer.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>

namespace {

const QHostAddress kGroup(QStringLiteral("239.255.255.250"));
constexpr quint16 kSsdpPort = 1900;

bool containsAll(const QByteArray& data, const QList<QByteArray>& pieces)
{
    for (const QByteArray& piece : pieces) {
        if (!data.contains(piece))
            return false;
    }
    return true;
}

QList<SsdpTestPeer::Datagram> filtered(const QList<SsdpTestPeer::Datagram>& all,
                                       const QList<QByteArray>& pieces)
{
    QList<SsdpTestPeer::Datagram> result;
    for (const SsdpTestPeer::Datagram& datagram : all) {
        if (containsAll(datagram.data, pieces))
            result << datagram;
    }
    return result;
}

void drain(QUdpSocket* socket, QList<SsdpTestPeer::Datagram>* into)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            return;
        into->append({datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort())});
    }
}

} // namespace

SsdpTestPeer::SsdpTestPeer(const QHostAddress& sourceAddress)
    : source(sourceAddress)
{
    connect(&group, &QUdpSocket::readyRead, this, &SsdpTestPeer::readGroup);
    connect(&unicast, &QUdpSocket::readyRead, this, &SsdpTestPeer::readUnicast);
}

bool SsdpTestPeer::listen()
{
    const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    if (!group.bind(QHostAddress::AnyIPv4, kSsdpPort, QUdpSocket::ShareAddress)
        || !group.joinMulticastGroup(kGroup, lo))
        return false;
    if (!unicast.bind(source, 0))
        return false;
    unicast.setMulticastInterface(lo);
    return true;
}

bool SsdpTestPeer::sendToGroup(const QByteArray& datagram)
{
    return sendTo(datagram, kGroup, kSsdpPort);
}

bool SsdpTestPeer::sendTo(const QByteArray& datagram, const QHostAddress& address, quint16 port)
{
    return unicast.writeDatagram(datagram, address, port) == datagram.size();
}

QList<SsdpTestPeer::Datagram> SsdpTestPeer::groupDatagrams(const QList<QByteArray>& pieces) const
{
    return filtered(groupReceived, pieces);
}

QList<SsdpTestPeer::Datagram> SsdpTestPeer::answers(const QList<QByteArray>& pieces) const
{
    return filtered(unicastReceived, pieces);
}

void SsdpTestPeer::clear()
{
    groupReceived.clear();
    unicastReceived.clear();
}

bool SsdpTestPeer::isInsideTestNamespace()
{
    // The private namespace has lo and nothing else; the variable alone could
    // have been set by hand.
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    return qgetenv("CC_IN_NETNS") == "1" && interfaces.size() == 1
        && interfaces.first().name() == QLatin1String("lo");
}

const char* SsdpTestPeer::outsideNamespaceMessage()
{
    return "SSDP tests send multicast; run them only through scripts/netns-run "
           "(CC_IN_NETNS=1, only the interface lo)";
}

void SsdpTestPeer::readGroup()
{
    drain(&group, &groupReceived);
}

void SsdpTestPeer::readUnicast()
{
    drain(&unicast, &unicastReceived);
}
