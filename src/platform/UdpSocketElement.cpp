#include "UdpSocketElement.h"

#include "SocketErrors.h"

#include <QPointer>
#include <QVariant>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#endif

UdpSocketElement::UdpSocketElement(int index, QObject *parent)
    : QObject(parent)
    , m_index(index)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpSocketElement::readPending);
}

Status UdpSocketElement::Bind(qint64 port)
{
    if (port < 1 || port > 65535)
        return SocketErrors::invalidPort(port);
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        return SocketErrors::alreadyBound();
    if (!m_socket.bind(QHostAddress::AnyIPv4, quint16(port), QAbstractSocket::DontShareAddress)) {
        const ErrorInfo error = SocketErrors::fromSocket(m_socket.error(), m_socket.errorString());
        m_socket.close();
        return error;
    }
    askLargeReceiveBuffer();
    return {};
}

void UdpSocketElement::askLargeReceiveBuffer()
{
#ifdef Q_OS_LINUX
    // SO_RCVBUFFORCE passes the system limit when we are allowed to; otherwise the kernel
    // caps SO_RCVBUF at net.core.rmem_max, which is still better than the default.
    const int fd = int(m_socket.socketDescriptor());
    int bytes = ReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0)
        return;
#endif
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
}

int UdpSocketElement::receiveBufferBytes()
{
    if (m_socket.state() != QAbstractSocket::BoundState)
        return 0;
    return m_socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

void UdpSocketElement::Close()
{
    m_socket.close();
}

int UdpSocketElement::State() const
{
    return m_socket.state() == QAbstractSocket::BoundState ? Open : Closed;
}

quint16 UdpSocketElement::LocalPort() const
{
    return m_socket.state() == QAbstractSocket::BoundState ? m_socket.localPort() : 0;
}

QString UdpSocketElement::RemoteHostIP() const
{
    return m_current.senderAddress().toString();
}

qint32 UdpSocketElement::RemotePort() const
{
    return m_current.senderPort() < 0 ? 0 : m_current.senderPort();
}

Status UdpSocketElement::GetData(QByteArray &data) const
{
    if (!m_hasCurrent)
        return SocketErrors::noDatagram();
    data = m_current.data();
    return {};
}

void UdpSocketElement::readPending()
{
    // Drain everything: the socket does not announce again while a datagram is left unread.
    QPointer<UdpSocketElement> alive(this);
    while (m_socket.state() == QAbstractSocket::BoundState && m_socket.hasPendingDatagrams()) {
        m_current = m_socket.receiveDatagram();
        if (!m_current.isValid())
            break;
        m_hasCurrent = true;
        emit dataArrival(m_index, m_current.data().size());
        if (!alive)
            return; // the handler unloaded this element
        m_hasCurrent = false;
    }
}
