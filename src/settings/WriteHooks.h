#pragma once

#include <QString>

#include <functional>

// The points of a safe write, in order: the temporary file exists, it holds every byte and is
// on disk, it has replaced the file.
enum class WriteStage { Opened, Written, Renamed };

// Ways into a safe write from outside. The program passes none; tests use them to make the
// device run out of room or to stop the process at a chosen point.
struct WriteHooks
{
    // How many of `size` bytes the device takes in the next write to `path`; fewer makes a
    // short write, none makes the write fail as on a full disk.
    std::function<qint64(const QString &path, qint64 size)> deviceTakes;
    // Called when a write to `path` reaches `stage`.
    std::function<void(const QString &path, WriteStage stage)> reached;
};
