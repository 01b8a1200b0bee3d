#pragma once

#include "Result.h"
#include "UdpSocketElement.h"

#include <QObject>

#include <map>

// The socket control array: elements loaded and unloaded by index. Element 0 is the template
// present from the start and never bound by the program; element N belongs to connection N.
class UdpSocketArray : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxIndex = 32767; // indexes are 16-bit

    explicit UdpSocketArray(QObject *parent = nullptr);
    ~UdpSocketArray() override;

    Status Load(int index);
    Status Unload(int index);
    bool isLoaded(int index) const;
    // nullptr when the element is not loaded.
    UdpSocketElement *element(int index) const;
    Result<UdpSocketElement *> at(int index) const;
    // Loaded indexes in ascending order, element 0 included.
    QList<int> indexes() const;
    // The elements bound now, for other threads.
    const BoundPorts &boundPorts() const { return m_boundPorts; }

signals:
    void DataArrival(int index, qint64 bytesTotal);
    void ElementBound(int index, quint16 port);
    void ElementClosed(int index);
    // See UdpSocketElement::refusing.
    void DatagramsRefused(int index, quint16 port, qint64 budgetBytes);
    // See UdpSocketElement::kernelDropped.
    void KernelDropped(int index, quint16 port, quint64 newDrops);

private:
    void add(int index);

    BoundPorts m_boundPorts; // before the elements, which leave it as they go
    std::map<int, UdpSocketElement *> m_elements;
};
