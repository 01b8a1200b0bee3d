#pragma once

struct EditingContext;

// Tools, Add: backs up the connections file, asks for the port and refuses one a socket
// element holds, adds a row under the smallest free connection number with default values,
// binds its socket, asks for the database with the Data Link dialog, creates the statistics
// schema there, shows the database text (without password and Persist Security Info) in the
// row and the Database menu entry, asks for the logon check and the log file, and appends the
// connection's line to the connections file.
//
// A refused port, or the port dialog closed by its frame, adds nothing. Later stops (Data
// Link cancelled, a socket or database failure) leave the row as far as it got, unsaved.
void addConnection(const EditingContext &context);
