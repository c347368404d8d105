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

void DoubleClickRow(QListWidget* list, int row)
{
    // A double click is a press followed by the double-click event.
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

}  // namespace

TEST(AboutDlg, ShowsProgramDevicesInGivenOrderAndLibRevision)
{
    const std::vector<CAboutDlg::Device> devices = {
        {QStringLiteral("Brisko 12A"), QStringLiteral("https://www.brisko-esc.example/12a")},
        {QStringLiteral("Brisko 40A"), QString()},
    };
    CAboutDlg dlg(QStringLiteral("TORV"), QStringLiteral("0.1"), devices, QStringLiteral("2.17"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About TORV"));
    auto* list = dlg.findChild<QListWidget*>(QStringLiteral("SupportedDevices"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Brisko 12A"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("Brisko 40A"));
    auto* revision = dlg.findChild<QLineEdit*>(QStringLiteral("LibRevision"));
    ASSERT_NE(revision, nullptr);
    EXPECT_EQ(revision->text(), QStringLiteral("2.17"));
    EXPECT_TRUE(revision->isReadOnly());

    QStringList labels;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("Lib revision:")));
    EXPECT_TRUE(labels.join(u' ').contains(QStringLiteral("TORV")));
    EXPECT_TRUE(labels.join(u' ').contains(QStringLiteral("0.1")));
}

TEST(AboutDlg, DoubleClickOpensTheDevicePageOnlyWhenItHasOne)
{
    const std::vector<CAboutDlg::Device> devices = {
        {QStringLiteral("Brisko 12A"), QStringLiteral("https://www.brisko-esc.example/12a")},
        {QStringLiteral("Brisko 40A"), QString()},
    };
    CAboutDlg dlg(QStringLiteral("TORV"), QStringLiteral("0.1"), devices, QStringLiteral("2.17"));
    std::vector<QUrl> opened;
    dlg.SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* list = dlg.findChild<QListWidget*>(QStringLiteral("SupportedDevices"));

    DoubleClickRow(list, 1);
    EXPECT_TRUE(opened.empty());
    DoubleClickRow(list, 0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://www.brisko-esc.example/12a")));
}
