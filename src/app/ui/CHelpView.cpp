#include "app/ui/CHelpView.h"

#include "base/CDataFiles.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>

#include <utility>

// The resources live in the widget library; a static library needs them
// registered by name (outside any namespace).
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

CHelpView::CHelpView(QWidget* parent)
    : QTextBrowser(parent)
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    InitResources();
    setObjectName(QStringLiteral("HelpView"));
    setReadOnly(true);
    // Links are followed by us, not by the browser, and the text cannot be
    // selected.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setHtml(HelpHtml());
    connect(this, &QTextBrowser::anchorClicked, this, &CHelpView::OpenLink);
}

QString CHelpView::HelpHtml(const QString& programFolder)
{
    InitResources();
    const QString builtIn = QStringLiteral(":/help.html");
    QString path = builtIn;
    if (CDataFiles::IsInstalled(programFolder))
        path = CDataFiles::Find(programFolder, QStringLiteral("help.html")).value_or(builtIn);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        file.setFileName(builtIn);
        if (!file.open(QIODevice::ReadOnly))
            return {};
    }
    return QString::fromUtf8(file.readAll());
}

QString CHelpView::HelpHtml()
{
    return HelpHtml(QCoreApplication::applicationDirPath());
}

void CHelpView::SetUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void CHelpView::OpenLink(const QUrl& url)
{
    if (m_openUrl && url.isValid())
        m_openUrl(url);
}
