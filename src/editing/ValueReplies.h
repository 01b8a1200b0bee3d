#pragma once

#include "platform/OperatorInteraction.h"

#include <optional>

class MainModule;

// The value dialogs as the commands use them: an OK writes its text into DlgValue and gives it
// back; a close by the window frame gives nothing and leaves DlgValue as it was.
std::optional<QString> askSingleValue(MainModule &state, OperatorInteraction &op,
                                      const ValueRequest &request);

// The logon check: the entries "False" above "True", the text part starting with current.
std::optional<QString> askLogonCheck(MainModule &state, OperatorInteraction &op,
                                     const QString &caption, const QString &current);

// The log file dialog. Its file name persists through the run: the first time it is set to
// currentPath, later it proposes the file chosen last (by Add or by the Log command). The
// chosen path, or nothing on Cancel.
std::optional<QString> askLogFile(MainModule &state, OperatorInteraction &op,
                                  const QString &currentPath);
