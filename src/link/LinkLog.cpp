#include "link/LinkLog.h"

#include <QStringList>

Q_LOGGING_CATEGORY(lcLink, "torv.link")

namespace LinkLog {

void Lines(const QString& text)
{
    if (!lcLink().isDebugEnabled())
        return;
    const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const QString& line : lines)
        qCDebug(lcLink).noquote() << line;
}

}
