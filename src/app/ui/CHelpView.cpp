#include "app/ui/CHelpView.h"

#include "base/CDataFiles.h"
#include "controls/CColourContrast.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
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
    ApplyPalette();
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

QString CHelpView::StyleSheetFor(const QPalette& palette)
{
    constexpr double kTextRatio = 4.5;
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    // The maker's green for headings, a softened text colour for notes.
    const QColor heading = CColourContrast::Readable(QColor(0x1f, 0x6f, 0x5c), base, kTextRatio);
    const QColor note = CColourContrast::Readable(CColourContrast::Mix(text, base, 0.3), base, kTextRatio);
    const QColor link = CColourContrast::Readable(palette.color(QPalette::Active, QPalette::Link), base, kTextRatio);
    return QStringLiteral("body { color: %1; } h2 { color: %2; } .note { color: %3; } a { color: %4; }")
        .arg(text.name(), heading.name(), note.name(), link.name());
}

void CHelpView::ApplyPalette()
{
    document()->setDefaultStyleSheet(StyleSheetFor(palette()));
    setHtml(HelpHtml());
}

void CHelpView::changeEvent(QEvent* event)
{
    QTextBrowser::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        ApplyPalette();
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
