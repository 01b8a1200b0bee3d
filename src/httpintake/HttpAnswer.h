#pragma once

#include <QByteArray>

// How long a server is asked to wait before it sends a post again.
constexpr int RetryAfterSeconds = 5;

// What the program answers one log post.
struct HttpAnswer
{
    int status = 200;
    QByteArray text;    // a short plain-text reason, a line
    int retryAfter = 0; // seconds, for 503; 0: no Retry-After header
};
