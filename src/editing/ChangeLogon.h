#pragma once

struct EditingContext;

// Tools, Logon: asks for the selected connection's logon check ("False" or "True" offered,
// any typed text taken as it is) and shows it in the row. An empty reply, or the dialog
// closed by its frame, changes nothing. Only the next start reads it.
void changeLogonCheck(const EditingContext &context);
