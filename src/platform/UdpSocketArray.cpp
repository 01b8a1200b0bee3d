#include "UdpSocketArray.h"

#include "SocketErrors.h"

UdpSocketArray::UdpSocketArray(QObject *parent)
    : QObject(parent)
{
    add(0);
}

// The elements go while the list of bound ports they leave is still there.
UdpSocketArray::~UdpSocketArray()
{
    for (const auto &entry : m_elements)
        delete entry.second;
}

void UdpSocketArray::add(int index)
{
    auto *element = new UdpSocketElement(index, this, &m_boundPorts);
    connect(element, &UdpSocketElement::dataArrival, this, &UdpSocketArray::DataArrival);
    connect(element, &UdpSocketElement::bound, this, &UdpSocketArray::ElementBound);
    connect(element, &UdpSocketElement::closed, this, &UdpSocketArray::ElementClosed);
    connect(element, &UdpSocketElement::refusing, this, &UdpSocketArray::DatagramsRefused);
    connect(element, &UdpSocketElement::kernelDropped, this, &UdpSocketArray::KernelDropped);
    m_elements[index] = element;
}

Status UdpSocketArray::Load(int index)
{
    if (index < 0 || index > MaxIndex)
        return ErrorInfo{6, QStringLiteral("Overflow (socket element %1)").arg(index)};
    if (isLoaded(index))
        return SocketErrors::alreadyLoaded(index);
    add(index);
    return {};
}

Status UdpSocketArray::Unload(int index)
{
    if (index == 0)
        return SocketErrors::designElement();
    const auto found = m_elements.find(index);
    if (found == m_elements.end())
        return SocketErrors::notLoaded(index);
    UdpSocketElement *element = found->second;
    m_elements.erase(found);
    // The port is free at once; the object goes later in case we are inside its own event.
    element->Close();
    disconnect(element, nullptr, this, nullptr);
    element->deleteLater();
    return {};
}

bool UdpSocketArray::isLoaded(int index) const
{
    return m_elements.count(index) != 0;
}

UdpSocketElement *UdpSocketArray::element(int index) const
{
    const auto found = m_elements.find(index);
    return found == m_elements.end() ? nullptr : found->second;
}

Result<UdpSocketElement *> UdpSocketArray::at(int index) const
{
    if (UdpSocketElement *e = element(index))
        return e;
    return SocketErrors::notLoaded(index);
}

QList<int> UdpSocketArray::indexes() const
{
    QList<int> result;
    result.reserve(int(m_elements.size()));
    for (const auto &entry : m_elements)
        result.append(entry.first);
    return result;
}
