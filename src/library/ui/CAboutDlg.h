#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

class QListWidget;
class QListWidgetItem;

// "About TORV": program name and version, the devices that the device library
// supports (double-clicking one opens its web page) and the library revision.
// It is given plain values; gathering them from the library is the caller's.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    struct Device {
        QString name;
        QString url;   // empty when the device has no page
    };
    using UrlOpener = std::function<void(const QUrl&)>;

    // devices are shown in the given order (the caller sorts them).
    CAboutDlg(const QString& programName, const QString& version, const std::vector<Device>& devices,
              const QString& libRevision, QWidget* parent = nullptr);

    // Replaces the way a device page is opened (QDesktopServices::openUrl).
    void SetUrlOpener(UrlOpener opener);

private:
    void OpenDevicePage(QListWidgetItem* item);

    UrlOpener m_openUrl;
    QListWidget* m_devices = nullptr;
};
