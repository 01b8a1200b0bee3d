#pragma once

class MainForm;
class MainModule;
class OperatorInteraction;

// Rewrites the connections file from the list (after the backup). A failure is shown to the
// operator; the previous file stays as it was. True when the file was written.
bool saveConnections(MainModule &state, OperatorInteraction &op);

// Closing the window: the connections file, then the window's position and size (an edge
// beyond the bottom or right of the screen is saved as an eighth of the screen) and the
// widths of the four columns.
void closingSave(MainModule &state, const MainForm &form, OperatorInteraction &op);
