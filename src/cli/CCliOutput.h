#pragma once

#include <QJsonValue>
#include <QString>

// Standard output of torv-cli: results as text or as indented JSON, flushed
// at once so that a script reading the pipe sees each result when it is done.
class CCliOutput {
public:
    static void Print(const QString& text);
    static void PrintJson(const QJsonValue& value);
    // What was done ("Saved 128 cells to ..."): printed unless --quiet.
    static void Report(const QString& text);

    // --quiet: reports, notes and progress stay unsaid; errors and the data
    // asked for are still printed.
    static void SetQuiet(bool quiet);
    static bool Quiet();
};
