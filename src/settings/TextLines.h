#pragma once

#include <QByteArray>
#include <QList>

// The lines of a text file. A line ends at CR LF, at LF or at a lone CR, so files edited on
// any system read alike; a last line without a line end counts, an empty file has no line.
QList<QByteArray> splitLines(const QByteArray &contents);

// Every line followed by CR LF, the line end the program writes.
QByteArray joinLines(const QList<QByteArray> &lines);

// The UTF-8 byte order mark some editors put at the start; it is no part of the first line.
QByteArray withoutByteOrderMark(const QByteArray &contents);
