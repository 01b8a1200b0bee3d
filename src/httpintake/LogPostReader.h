#pragma once

#include "LogPost.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

// One line of a post's body and where it starts in the server's log stream.
struct PostLine
{
    QByteArrayView text; // without its line end
    qint64 end = 0;      // the stream offset just past its line end, when the post has offsets
};

// Who sent a post, as the program tells the scoring component: the TCP peer's address, and
// the game server's port from its address header (the TCP port changes with every
// connection; the game port stays). Without a usable header, the TCP peer's port.
struct PostSender
{
    QString ip;
    qint32 port = 0;
};

PostSender senderOf(const LogPost &post);

// The post's lines in order, empty ones left out. A body that ends without a line end still
// ends a line. With offsets, each line knows where it ends in the server's stream.
std::vector<PostLine> linesOf(const LogPost &post);

// The bytes handed over for one line: as the server wrote it, behind the header a server
// puts before a line it sends with a log secret when the post carries one.
QByteArray payloadOf(const LogPost &post, QByteArrayView line);

// The port of an "address:port" text ("203.0.113.7:27015", "[2001:db8::1]:27015"); 0 when
// the text is not one.
quint16 portOfAddress(QByteArrayView address);

// The key under which a server's stream offsets are remembered: its instance token, else
// its address header and TCP peer. Empty when the post has nothing to tell streams apart.
QByteArray streamKeyOf(const LogPost &post);
