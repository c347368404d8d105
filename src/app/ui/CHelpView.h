#pragma once

#include <QTextBrowser>
#include <QUrl>

#include <functional>

// The help text shown while no ESC is connected: read-only, not selectable,
// its web and mail links open with the desktop's handler. Its colours come
// from the widget's palette, so it reads in light and dark themes.
class CHelpView : public QTextBrowser {
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl&)>;

    explicit CHelpView(QWidget* parent = nullptr);

    // Replaces the way a link is opened (QDesktopServices::openUrl).
    void SetUrlOpener(UrlOpener opener);

    // The help document: that of the installation (share/torv/help.html)
    // when the program in programFolder is installed and it is there, so
    // that it can be mended without a new build; else the one built in.
    static QString HelpHtml(const QString& programFolder);
    // The help document of this program.
    static QString HelpHtml();
    // The colours of headings, notes and links for a palette, as a style
    // sheet: each stands out 4.5:1 from the palette's Base.
    static QString StyleSheetFor(const QPalette& palette);

protected:
    void changeEvent(QEvent* event) override;

private:
    // Sets the document's colours from the palette and lays the text out again.
    void ApplyPalette();
    void OpenLink(const QUrl& url);

    UrlOpener m_openUrl;
};
