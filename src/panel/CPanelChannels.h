#pragma once

#include <QByteArray>
#include <QString>
#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "panel/CPanelChannel.h"

class CChanMap;

// The live values of the measurement panel and their evaluation buffer.
// The channels come from the ESC element's Parameter[@panel_tag="%s"] for the
// tags "servo", "RPM", "voltage", "current", "tempA", in that order; a tag
// without an element, or an element without a formula, gives no channel.
//
// Evaluation buffer, 256 bytes: 0..127 a copy of the ESC's first cells
// (taken once when the panel opens; cells beyond the copy read 0), 128..191
// the current telemetry record, the rest 0.
class CPanelChannels {
public:
    static constexpr int kCellCopySize = 128;
    static constexpr int kRecordOffset = 128;
    static constexpr int kRecordSize = 64;
    static const std::array<const char*, 5>& Tags();

    // cells: the first cells of the device (at most 128 are used).
    CPanelChannels(const pugi::xml_node& esc, const std::vector<uint8_t>& cells);
    ~CPanelChannels();
    CPanelChannels(const CPanelChannels&) = delete;
    CPanelChannels& operator=(const CPanelChannels&) = delete;

    // The first count cells of the cell image (count: the logger
    // description's inidata, 128 when 0 or absent; at most 128), a cell that
    // cannot be read as 0.
    static std::vector<uint8_t> CellCopy(CChanMap& image, unsigned count);

    // Puts a record (64 bytes; fewer are padded with 0) into the buffer.
    void SetRecord(const uint8_t* record, size_t size = kRecordSize);
    void SetRecord(const QByteArray& record);
    // Evaluates and formats every channel; a channel whose formula fails
    // keeps its text.
    void Update();

    size_t Count() const { return m_channels.size(); }
    const CPanelChannel& At(size_t index) const { return *m_channels.at(index); }
    CPanelChannel& At(size_t index) { return *m_channels.at(index); }
    // The channel of a tag; nullptr when the library gives none.
    const CPanelChannel* Find(const QString& tag) const;

    const CPanelChannel::Buffer& Buffer() const { return *m_buffer; }

private:
    // Heap-held, so that the channels' functions keep a stable address.
    std::unique_ptr<CPanelChannel::Buffer> m_buffer;
    std::vector<std::unique_ptr<CPanelChannel>> m_channels;
};
