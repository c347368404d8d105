#include "library/ui/CAboutDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "common/TestApplication.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

} // namespace

TEST(AboutDlg, ListsDevicesInGivenOrderShowsTheLibRevisionAndOpensOnlyPagesThatExist)
{
    const QString page = QStringLiteral("https://www.brisko-esc.example/12a");
    CAboutDlg dlg(QStringLiteral("TORV"), QStringLiteral("0.1"), {{QStringLiteral("Brisko 12A"), page},
                  {QStringLiteral("Brisko 40A"), QString()}}, QStringLiteral("2.17"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About TORV"));
    auto* revision = dlg.findChild<QLineEdit*>(QStringLiteral("LibRevision"));
    ASSERT_NE(revision, nullptr);
    EXPECT_EQ(revision->text(), QStringLiteral("2.17"));
    EXPECT_TRUE(revision->isReadOnly());
    QStringList labels;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("Lib revision:")));
    EXPECT_TRUE(labels.join(u' ').contains(QStringLiteral("0.1")));

    auto* list = dlg.findChild<QListWidget*>(QStringLiteral("SupportedDevices"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Brisko 12A"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("Brisko 40A"));

    std::vector<QUrl> opened;
    dlg.SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    for (int row : {1, 0}) {
        // A double click is a press and release followed by the double-click event.
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl(page)}) << "the device without a page opens nothing";
}
