#pragma once

#include "platform/DbConnection.h"

class OperatorInteraction;

// The logon prompt for a connection whose logon flag is "True": shows the Login dialog for
// the connection on port, and on every OK tries to open the database with the typed user name
// and password (logonString). A refused open asks "Logon is invalid.  Try again?": OK keeps
// the dialog with what was typed, Cancel gives up. True only after a successful trial open.
// The typed credentials go nowhere else: the caller keeps using connString.
bool Login(const QString &connString, qint32 port, OperatorInteraction &op,
           const DbConnectionFactory &newConnection);
