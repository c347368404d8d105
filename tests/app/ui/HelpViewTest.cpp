#include "app/ui/CHelpView.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTextBlock>
#include <QTemporaryDir>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "common/TestApplication.h"
#include "common/ThemePalettes.h"
#include "controls/CColourContrast.h"
#include "common/TestFiles.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

}  // namespace

TEST(HelpView, ShowsGreetingEveryShortcutAndLinksThatGoToTheOpenerNotTheBrowser)
{
    CHelpView view;
    const QString text = view.toPlainText();
    for (const char* part : {"Brisko ESC", "Want to watch new releases?", "Have a question, opinion? Need support?",
                             "Useful shortcuts:", "(*)"})
        EXPECT_TRUE(text.contains(QLatin1String(part))) << part;
    const std::vector<std::pair<const char*, const char*>> shortcuts = {
        {"Ctrl+O", "load settings from file"},   {"Ctrl+S", "save settings to file"},
        {"Ctrl+R", "refresh parameters"},        {"Ctrl+P", "connection setup"},
        {"Ctrl+D", "restore defaults"},          {"Ctrl+U", "updates check-in"},
        {"Ctrl+F", "update firmware"},           {"Ctrl+A", "about this program"},
        {"Ctrl+M", "write a memory image into the logger(*)"}, {"Ctrl+E", "earse logger memory(*)"},
        {"Ctrl+L", "logs: download, files and chart"}, {"Ctrl+Y", "melodies"},
        {"Ctrl+Z", "undo a parameter change"},
    };
    // Each shortcut sits in the same table row as its text, in this order.
    int from = 0;
    for (const auto& [key, what] : shortcuts) {
        const int at = text.indexOf(QLatin1String(key), from);
        ASSERT_GE(at, 0) << key;
        const int textAt = text.indexOf(QLatin1String(what), at);
        ASSERT_GE(textAt, 0) << what;
        const int nextKey = text.indexOf(QLatin1String("Ctrl+"), at + 1);
        EXPECT_TRUE(nextKey < 0 || nextKey > textAt) << key;
        from = textAt;
    }
    EXPECT_TRUE(view.isReadOnly());
    EXPECT_FALSE(view.textInteractionFlags() & Qt::TextSelectableByMouse);

    std::vector<QUrl> opened;
    view.SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    const QString html = CHelpView::HelpHtml();
    EXPECT_TRUE(html.contains(QStringLiteral("https://www.brisko-esc.example/")));
    EXPECT_TRUE(html.contains(QStringLiteral("mailto:support@brisko-esc.example")));
    EXPECT_FALSE(view.openLinks());

    const QString before = view.toHtml();
    emit view.anchorClicked(QUrl(QStringLiteral("mailto:support@brisko-esc.example")));
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl(QStringLiteral("mailto:support@brisko-esc.example"))});
    EXPECT_EQ(view.toHtml(), before);
}

TEST(HelpView, PictureAndIconsLoadFromTheResources)
{
    CHelpView view;
    const QVariant picture = view.document()->resource(QTextDocument::ImageResource,
                                                       QUrl(QStringLiteral("qrc:/help-esc.svg")));
    EXPECT_TRUE(picture.isValid());
    for (const char* name : {"load-parameters", "save-parameters", "port-setup", "logs", "measurement-panel",
                             "erase-logger", "curves", "link-closed", "link-waiting", "link-connected",
                             "torv"}) {
        const QIcon icon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
        EXPECT_FALSE(icon.pixmap(16, 16).isNull()) << name;
    }
}

// Headings, notes, links and text read 4.5:1 against the view's background
// in a light and a dark theme, also when the theme changes while shown.
TEST(HelpView, ColoursFollowTheTheme)
{
    CHelpView view;
    for (const QPalette& palette : {ThemePalettes::Dark(), ThemePalettes::Light(), ThemePalettes::Dark()}) {
        view.setPalette(palette);
        const QColor base = palette.color(QPalette::Base);
        int checked = 0;
        for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                const QColor colour = format.foreground().style() == Qt::NoBrush ? palette.color(QPalette::Text)
                                                                                 : format.foreground().color();
                EXPECT_GE(CColourContrast::Ratio(colour, base), 4.5)
                    << it.fragment().text().toStdString() << " " << colour.name().toStdString();
                ++checked;
            }
        }
        EXPECT_GT(checked, 20);
    }
}

TEST(HelpView, AnInstalledProgramTakesTheHelpOfItsDataFolder)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir().mkpath(prefix.filePath("bin")));
    ASSERT_TRUE(QDir().mkpath(prefix.filePath("share/torv")));
    TestFiles::Write(QDir(prefix.filePath("share/torv")), "Brisko.esc", "<ESCs/>");
    const QString builtIn = CHelpView::HelpHtml(prefix.filePath("bin"));
    EXPECT_TRUE(builtIn.contains(QStringLiteral("mailto:support@brisko-esc.example")));

    TestFiles::Write(QDir(prefix.filePath("share/torv")), "help.html", "<p>Mended help</p>");
    EXPECT_EQ(CHelpView::HelpHtml(prefix.filePath("bin")), QStringLiteral("<p>Mended help</p>"));
    // A build tree keeps its own.
    TestFiles::Write(QDir(prefix.filePath("bin")), "Brisko.esc", "<ESCs/>");
    EXPECT_EQ(CHelpView::HelpHtml(prefix.filePath("bin")), builtIn);
}
