#pragma once

#include "ScoringAbi.h"

#include "platform/ClassRegistry.h"
#include "platform/Result.h"

#include <QString>

// A scoring component library opened from its file. Once opened it stays loaded for the
// rest of the run, as in-process components do.
struct ComponentLibrary
{
    QString path; // absolute
    QString progId;
    QString classId;
    QByteArray classIdUtf8; // what create takes, for every datagram
    ScoringComponentCreateFn create = nullptr;
    ScoringComponentFinishFn finish = nullptr;   // optional
    ScoringComponentFiguresFn figures = nullptr; // optional
};

Result<ComponentLibrary> openComponentLibrary(const QString &path);

// Records the library's ProgID and class id in the class registry, so the program can
// activate it; returns a line saying what was registered.
Result<QString> registerComponentLibrary(const QString &path, const ClassRegistry &registry);
