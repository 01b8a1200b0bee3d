#pragma once

#include <QByteArray>

// The site's own style sheet (light and dark, phone to desktop) and icon; no file from
// elsewhere is ever loaded.
QByteArray styleSheet();
QByteArray favicon();
