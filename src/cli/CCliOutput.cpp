#include "cli/CCliOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {
bool quietOutput = false;
}

void CCliOutput::SetQuiet(bool quiet)
{
    quietOutput = quiet;
}

bool CCliOutput::Quiet()
{
    return quietOutput;
}

void CCliOutput::Report(const QString& text)
{
    if (!quietOutput)
        Print(text);
}

void CCliOutput::Print(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void CCliOutput::PrintJson(const QJsonValue& value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    Print(QString::fromUtf8(document.toJson(QJsonDocument::Indented)));
}
