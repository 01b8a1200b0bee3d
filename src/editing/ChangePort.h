#pragma once

struct EditingContext;

// Tools, Port: asks for the selected connection's new port, refuses one that a socket element
// holds (its own port included), and binds the connection's socket element to it. Nothing else
// of the connection moves, and the connections file learns of it at the next save. An empty
// reply, or the dialog closed by its frame, changes nothing. When the new port can not be
// bound, the socket failure message names it and the element goes back to its old port.
void changePort(const EditingContext &context);
