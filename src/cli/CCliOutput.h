#pragma once

#include <QJsonValue>
#include <QString>

// Standard output of torv-cli: results as text or as indented JSON, flushed
// at once so that a script reading the pipe sees each result when it is done.
class CCliOutput {
public:
    static void Print(const QString& text);
    static void PrintJson(const QJsonValue& value);
};
