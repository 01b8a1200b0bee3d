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

    Status Load(int index);
    Status Unload(int index);
    bool isLoaded(int index) const;
    // nullptr when the element is not loaded.
    UdpSocketElement *element(int index) const;
    Result<UdpSocketElement *> at(int index) const;
    // Loaded indexes in ascending order, element 0 included.
    QList<int> indexes() const;

signals:
    void DataArrival(int index, qint64 bytesTotal);
    void ElementBound(int index, quint16 port);
    void ElementClosed(int index);
    // See UdpSocketElement::refusing.
    void DatagramsRefused(int index, quint16 port, qint64 budgetBytes);

private:
    void add(int index);

    std::map<int, UdpSocketElement *> m_elements;
};
