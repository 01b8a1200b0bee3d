#include "TextLines.h"

QList<QByteArray> splitLines(const QByteArray &contents)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    qsizetype pos = 0;
    while (pos < contents.size()) {
        const char c = contents.at(pos);
        if (c != '\r' && c != '\n') {
            ++pos;
            continue;
        }
        lines.append(contents.mid(start, pos - start));
        pos += (c == '\r' && pos + 1 < contents.size() && contents.at(pos + 1) == '\n') ? 2 : 1;
        start = pos;
    }
    if (start < contents.size())
        lines.append(contents.mid(start));
    return lines;
}

QByteArray joinLines(const QList<QByteArray> &lines)
{
    QByteArray joined;
    for (const QByteArray &line : lines)
        joined += line + "\r\n";
    return joined;
}

QByteArray withoutByteOrderMark(const QByteArray &contents)
{
    static constexpr char Mark[] = "\xEF\xBB\xBF";
    return contents.startsWith(Mark) ? contents.mid(3) : contents;
}
