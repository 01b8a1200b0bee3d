#pragma once

struct EditingContext;

// Tools, Database: asks for the selected connection's new database with the Data Link dialog,
// stores the connection string, creates the statistics schema there, shows the database text
// (without password and Persist Security Info) in the row, then binds the connection's socket
// again on the row's port, which brings back a socket that an Add closed after a database
// failure. Cancel changes nothing. A database failure names the row's old database text and
// leaves the socket as it was; the connections file learns of the change at the next save.
void changeDatabase(const EditingContext &context);
