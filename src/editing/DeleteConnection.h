#pragma once

struct EditingContext;

// Tools, Delete: removes the selected connection at once, without asking: its connection
// string is cleared, its socket element closed and unloaded (when it was ever loaded) and its
// row removed. The freed number goes to the next Add; the connections file keeps the
// connection until the next save.
void deleteConnection(const EditingContext &context);
