#pragma once

#include <QString>

// Appends one dated note of the program to a connection's log file, in one
// write, so it never splits a line another writer of the file is appending. A file that
// cannot be written misses the note; the status line and standard error still tell.
void appendLogNote(const QString &path, const QString &text);
