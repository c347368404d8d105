#pragma once

#include "logger/CLogFormulaContext.h"
#include "logger/ChunkProcessor.h"
#include "logger/LoggerPage.h"

#include <QString>
#include <QStringList>
#include <pugixml.hpp>

#include <cstdint>
#include <vector>

class IPrompt;

// One channel's values over the time axis of its log.
struct LogSeries {
    QString label;
    int colour = -1;  // palette index from the library, -1 when not given
    std::vector<double> values;
};

// A decoded log: one time axis (seconds from the log's first sample) and
// one series per channel, in channel order.
struct DecodedLog {
    int number = 0;
    int slotCount = 0;
    double dt = 0;
    std::vector<double> time;
    std::vector<LogSeries> series;
};

// The decoding context of one log: the logger description, the calibration
// snapshot that cell and cellw read, and the channel list. The variable
// store belongs to the context, so two logs never share one by accident.
class CDataProcessor {
public:
    // prompt, when given, shows the channel setup messages (caption "TORV",
    // error icon) as they occur; they are kept in SetupMessages either way.
    CDataProcessor(pugi::xml_node logger, std::vector<uint8_t> snapshot, IPrompt* prompt = nullptr);
    CDataProcessor(const CDataProcessor&) = delete;
    CDataProcessor& operator=(const CDataProcessor&) = delete;

    // Sets the channels up for a channel mask; returns the slot total.
    int SetupChannels(uint16_t mask);

    // Decodes pages first..last of a buffer of 264-byte pages, stopping at
    // the first page of another log number. Of the last page only the
    // groups that lie wholly within its first lastPageBytes sample bytes
    // are taken (a page rebuilt from a file that ends inside it). False
    // (and an empty result) when the log's mask selects no described slot:
    // such a log has no samples to show.
    bool Decode(const uint8_t* pages, std::size_t pageCount, std::size_t first, std::size_t last, DecodedLog& out,
                std::size_t lastPageBytes = LoggerPage::kSampleBytes);

    // Appends one sample: the formulas see t = time and dt, the channels
    // are evaluated on the group, and the values and the time are appended.
    void AppendSample(const uint8_t* group, double time, double dt, DecodedLog& out);

    const ChunkProcessor& Channels() const { return m_chunks; }
    const QStringList& SetupMessages() const { return m_messages; }

private:
    pugi::xml_node m_logger;
    CLogFormulaContext m_context;
    ChunkProcessor m_chunks;
    IPrompt* m_prompt;
    QStringList m_messages;
    std::vector<double> m_values;
    double* m_time = nullptr;      // the store's t and dt, valid until the next setup
    double* m_timeStep = nullptr;
};
