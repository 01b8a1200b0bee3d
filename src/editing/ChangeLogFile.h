#pragma once

struct EditingContext;

// Tools, Log: asks for the selected connection's log file with the file dialog, which
// proposes the row's path the first time and the file chosen last afterwards, and shows the
// chosen path in the row; the next datagram is handed on with it. Cancel changes nothing.
void changeLogFile(const EditingContext &context);
