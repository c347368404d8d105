#include "logger/ui/CChartDlg.h"

#include "base/CIniFile.h"
#include "base/CTorvSettings.h"
#include "base/IPrompt.h"
#include "controls/CElidedLabel.h"
#include "controls/CMChartCtrl.h"
#include "controls/CThemedIcon.h"
#include "logger/CChartStyleSettings.h"
#include "logger/CDataProcessor.h"
#include "logger/CLogCsvReader.h"
#include "logger/CLogCsvWriter.h"
#include "logger/LoggerPage.h"
#include "logger/LoggerLog.h"
#include "logger/ui/CChartStyle.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace {
const char* const kCaption = "TORV";
constexpr int kMinStoredSize = 101;

IPrompt::FileRequest CsvRequest(const QString& folder)
{
    IPrompt::FileRequest request;
    request.defaultExtension = QStringLiteral(".csv");
    request.filters = {QCoreApplication::translate("CChartDlg", "CSV Files (*.csv)"),
                       QCoreApplication::translate("CChartDlg", "All Files (*.*)")};
    request.initialFolder = folder;
    return request;
}
}

CChartDlg::CChartDlg(Input input, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_input(std::move(input)), m_prompt(prompt)
{
    setWindowTitle(tr("Logger chart"));
    setObjectName(QStringLiteral("chartDlg"));
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(16, 16));
    const struct {
        Command command;
        QStyle::StandardPixmap icon;
        const char* text;
        const char* name;
    } buttons[] = {
        {CommandClose, QStyle::SP_DialogCloseButton, "Close", "close"},
        {CommandOpen, QStyle::SP_DialogOpenButton, "Open log file", "open"},
        {CommandSave, QStyle::SP_DialogSaveButton, "Save log file", "save"},
        {CommandPrevious, QStyle::SP_MediaSeekBackward, "Previous log", "previous"},
        {CommandNext, QStyle::SP_MediaSeekForward, "Next log", "next"},
        {CommandZoomBack, QStyle::SP_ArrowBack, "Zoom back", "zoomBack"},
        {CommandZoomForward, QStyle::SP_ArrowForward, "Zoom forward", "zoomForward"},
    };
    for (const auto& b : buttons) {
        // The style's cross is black whatever the theme: ours follows it.
        const QIcon icon = b.command == CommandClose ? CThemedIcon::Load(QStringLiteral(":/icons/close-window.svg"))
                                                     : style()->standardIcon(b.icon);
        QAction* action = m_toolBar->addAction(icon, tr(b.text));
        action->setObjectName(QString::fromLatin1(b.name));
        action->setEnabled(b.command == CommandClose || b.command == CommandOpen || b.command == CommandSave);
        m_actions.emplace_back(b.command, action);
    }
    m_toolBar->addSeparator();
    m_style = m_toolBar->addAction(CThemedIcon::Load(QStringLiteral(":/icons/chart-style.svg")), tr("Chart style..."));
    m_style->setObjectName(QStringLiteral("chartStyle"));
    m_copy = m_toolBar->addAction(CThemedIcon::Load(QStringLiteral(":/icons/copy-chart.svg")), tr("Copy chart"));
    m_copy->setObjectName(QStringLiteral("copy"));
    m_copy->setShortcut(QKeySequence::Copy);
    m_export = m_toolBar->addAction(CThemedIcon::Load(QStringLiteral(":/icons/export-chart.svg")), tr("Export PNG"));
    m_export->setObjectName(QStringLiteral("exportPng"));
    addAction(m_copy);

    m_chart = new CMChartCtrl(this);
    m_chart->setObjectName(QStringLiteral("chart"));
    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("status"));
    statusBar->setSizeGripEnabled(false);
    // The cursor read-out is cut to the window's width; it never widens it.
    m_status = new CElidedLabel(statusBar);
    m_status->setObjectName(QStringLiteral("readOut"));
    statusBar->addWidget(m_status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_chart, 1);
    layout->addWidget(statusBar);

    connect(Action(CommandClose), &QAction::triggered, this, &CChartDlg::reject);
    connect(Action(CommandOpen), &QAction::triggered, this, &CChartDlg::Open);
    connect(Action(CommandSave), &QAction::triggered, this, &CChartDlg::Save);
    connect(Action(CommandPrevious), &QAction::triggered, this, &CChartDlg::Previous);
    connect(Action(CommandNext), &QAction::triggered, this, &CChartDlg::Next);
    connect(Action(CommandZoomBack), &QAction::triggered, m_chart, &CMChartCtrl::DoZoomBack);
    connect(Action(CommandZoomForward), &QAction::triggered, m_chart, &CMChartCtrl::DoZoomForward);
    connect(m_style, &QAction::triggered, this, [this] { OpenStyle(-1); });
    connect(m_copy, &QAction::triggered, m_chart, &CMChartCtrl::CopyToClipboard);
    connect(m_export, &QAction::triggered, this, &CChartDlg::ExportPng);
    connect(m_chart, &CMChartCtrl::StyleRequested, this, &CChartDlg::OpenStyle);
    connect(m_chart, &CMChartCtrl::CursorTextChanged, m_status, &CElidedLabel::SetText);

    // The stored size is the outer one, frame included, as done() stores it.
    resize(800, 560);
    CIniFile ini(m_input.settingsPath);
    ini.Load();
    const int cx = ini.Int(CTorvSettings::Section(), QStringLiteral("cx_chart"), -1);
    const int cy = ini.Int(CTorvSettings::Section(), QStringLiteral("cy_chart"), -1);
    if (cx >= kMinStoredSize && cy >= kMinStoredSize)
        m_placement.Place(QSize(cx, cy));
    else
        m_placement.Place(std::nullopt);

    m_logs = LoggerPage::SplitLogs(m_input.pages, m_input.pageCount);
    if (!m_logs.empty()) {
        m_current = 0;
        // A log of a single page is shown too: it holds a page of samples,
        // and when it is the only log there is no other way to see it.
        ShowLog(0);
    }
    UpdateButtons();
}

QAction* CChartDlg::Action(Command command) const
{
    for (const auto& [id, action] : m_actions) {
        if (id == command)
            return action;
    }
    return nullptr;
}

QString CChartDlg::StatusText() const
{
    return m_status->Text();
}

bool CChartDlg::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    m_placement.OnEvent(*event);
    return handled;
}

void CChartDlg::ShowSeries(DecodedLog& log)
{
    m_chart->ClearSeries();
    m_palette.clear();
    for (LogSeries& series : log.series) {
        m_chart->AddSerie(std::make_shared<CMChartSerie>(series.label, 0.0, log.dt, std::move(series.values)));
        m_palette.push_back(series.colour);
    }
    m_chart->ResetZoom();
    ApplyStyles();
}

void CChartDlg::ShowLog(std::size_t index)
{
    const auto [first, last] = m_logs[index];
    CDataProcessor processor(m_input.logger, m_input.snapshot, &m_prompt);
    DecodedLog log;
    const std::size_t lastBytes = last + 1 == m_input.pageCount ? m_input.lastPageBytes : LoggerPage::kSampleBytes;
    processor.Decode(m_input.pages, m_input.pageCount, first, last, log, lastBytes);
    ShowSeries(log);
}

void CChartDlg::ApplyStyles()
{
    CIniFile ini(m_input.settingsPath);
    ini.Load();
    const auto& series = m_chart->Series();
    for (std::size_t i = 0; i < series.size(); ++i) {
        const CChartStyleSettings style =
            CChartStyleSettings::Read(ini, series[i]->Name(), i < m_palette.size() ? m_palette[i] : -1);
        if (style.colour)
            series[i]->SetColour(*style.colour);
        series[i]->SetVisible(style.visible);
        series[i]->SetMode(static_cast<CMChartSerie::ScaleMode>(style.mode));
        if (style.mode == 2)
            series[i]->SetCustomRange(style.minimum, style.maximum);
    }
    m_chart->RecalcLayout();
}

void CChartDlg::SaveStyles()
{
    if (m_chart->Series().empty() || m_input.settingsPath.isEmpty())
        return;
    CIniFile ini(m_input.settingsPath);
    // A settings file that exists but cannot be read is left alone.
    if (ini.Load() == CIniFile::LoadResult::Unreadable)
        return;
    for (const auto& serie : m_chart->Series()) {
        if (serie->Name().isEmpty())
            continue;
        CChartStyleSettings style;
        style.colour = serie->Colour();
        style.visible = serie->Visible();
        style.mode = static_cast<int>(serie->Mode());
        style.minimum = serie->CustomMinimum();
        style.maximum = serie->CustomMaximum();
        style.Write(ini, serie->Name());
    }
    if (!ini.Save())
        qCDebug(lcLogger) << "chart styles could not be written to" << m_input.settingsPath;
}

void CChartDlg::UpdateButtons()
{
    const int logs = static_cast<int>(m_logs.size());
    Action(CommandNext)->setEnabled(m_current >= 0 && m_current < logs - 1);
    Action(CommandPrevious)->setEnabled(m_current > 0);
    Action(CommandZoomBack)->setEnabled(true);
    Action(CommandZoomForward)->setEnabled(true);
    m_style->setEnabled(!m_chart->Series().empty());
    // Saving writes pages: without a page-based log there is nothing to write.
    Action(CommandSave)->setEnabled(m_current >= 0 && !m_logs.empty());
}

void CChartDlg::Previous()
{
    if (m_current <= 0)
        return;
    SaveStyles();
    ShowLog(static_cast<std::size_t>(--m_current));
    UpdateButtons();
}

void CChartDlg::Next()
{
    if (m_current < 0 || m_current + 1 >= static_cast<int>(m_logs.size()))
        return;
    SaveStyles();
    ShowLog(static_cast<std::size_t>(++m_current));
    UpdateButtons();
}

void CChartDlg::Save()
{
    if (m_current < 0 || m_logs.empty())
        return;
    IPrompt::FileRequest request = CsvRequest(m_input.saveFolder);
    request.promptOverwrite = true;
    const std::optional<QString> path = m_prompt.SaveFile(request);
    if (!path)
        return;
    const auto [first, last] = m_logs[static_cast<std::size_t>(m_current)];
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const std::size_t lastBytes = last + 1 == m_input.pageCount ? m_input.lastPageBytes : LoggerPage::kSampleBytes;
    const bool saved = CLogCsvWriter::Save(*path, m_input.pages, m_input.pageCount, first, last, m_input.snapshot,
                                           &error, lastBytes);
    QApplication::restoreOverrideCursor();
    if (!saved) {
        qCDebug(lcLogger) << "log file not written:" << error;
        m_prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
    }
}

std::optional<QByteArray> CChartDlg::ReadChosenLogFile(IPrompt& prompt, const QString& folder)
{
    IPrompt::FileRequest request = CsvRequest(folder);
    request.mustExist = true;
    const std::optional<QString> path = prompt.OpenFile(request);
    if (!path)
        return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return std::nullopt;
    }
    return file.readAll();
}

void CChartDlg::Open()
{
    const std::optional<QByteArray> text = ReadChosenLogFile(m_prompt, m_input.saveFolder);
    if (!text)
        return;
    SaveStyles();
    DecodedLog log;
    std::optional<CLogCsvReader::Damage> damage;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CLogCsvReader::ReadDecoded(*text, m_input.logger, m_input.snapshot, &m_prompt, log, nullptr, &damage);
    QApplication::restoreOverrideCursor();
    if (damage)
        m_prompt.Message(CLogCsvReader::DamageMessage(*damage), kCaption, IPrompt::Icon::Warning, IPrompt::Buttons::Ok);
    ShowSeries(log);
    m_logs.clear();
    m_current = -1;
    UpdateButtons();
}

void CChartDlg::OpenStyle(int serie)
{
    if (m_chart->Series().empty())
        return;
    CChartStyle dialog(m_chart->Series(), serie, m_prompt, this);
    if (dialog.exec() == QDialog::Accepted)
        m_chart->RecalcLayout();
}

void CChartDlg::ExportPng()
{
    IPrompt::FileRequest request;
    request.defaultExtension = QStringLiteral(".png");
    request.filters = {tr("PNG Images (*.png)")};
    request.initialFolder = m_input.saveFolder;
    request.promptOverwrite = true;
    const std::optional<QString> path = m_prompt.SaveFile(request);
    if (!path)
        return;
    QString error;
    if (!m_chart->ExportPng(*path, &error)) {
        qCDebug(lcLogger) << "chart picture not written:" << error;
        m_prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
    }
}

void CChartDlg::done(int result)
{
    if (!m_input.settingsPath.isEmpty()) {
        CIniFile ini(m_input.settingsPath);
        if (ini.Load() != CIniFile::LoadResult::Unreadable) {
            const QSize outer = m_placement.OuterSize();
            ini.SetInt(CTorvSettings::Section(), QStringLiteral("cx_chart"), outer.width());
            ini.SetInt(CTorvSettings::Section(), QStringLiteral("cy_chart"), outer.height());
            ini.Save();
        }
    }
    m_placement.Finish();
    SaveStyles();
    QDialog::done(result);
}
