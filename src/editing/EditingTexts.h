#pragma once

#include "platform/Result.h"

#include <QString>

// The texts the Tools commands show and write.
namespace EditingTexts {

QString portInUseTitle(); // "Error: Port Already In Use"
// Add: "Port 7777 is already in use." CR LF "New connection has not been saved."
QString addPortInUseText(qint64 port);
// Change port: "Port 7777 is already in use." followed by CR LF alone.
QString changePortInUseText(qint64 port);

// A reply whose number does not fit a port at all.
QString invalidPortTitle();
QString invalidPortText(const ErrorInfo &error, bool adding);

// Every number from 1 to MaxCon is taken.
QString tooManyText(qint32 port, qint32 maxCon);

QString noSelectionTitle();
QString noSelectionText();

// The connections file could not be backed up, or the new line could not be added to it.
QString backupFailedTitle();
QString backupFailedText(const ErrorInfo &error);
QString appendFailedTitle();
QString appendFailedText(const ErrorInfo &error);

// What a new row shows until its database is chosen: test.mdb in the default program folder
// (not AppPath), never stored in ConnStrings and never opened.
QString addPlaceholderDatabase(const QString &defaultAppPath);

// The database text of a chosen connection string, for the list, the menu caption and the
// connections file: without its ";User Password=" and ";Persist Security Info=" segments.
QString editedDisplayText(const QString &connString);

// "&Database " followed by the database text.
QString databaseMenuCaption(const QString &displayText);

} // namespace EditingTexts
