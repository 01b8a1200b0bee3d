#pragma once

#include <QString>

// The status line when the reader's budget is full and datagrams on a port are refused.
QString refusedDatagramsText(quint16 port, int connection, qint64 budgetBytes);
