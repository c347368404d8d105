#pragma once

#include "logger/AnyData.h"

#include <QStringList>
#include <pugixml.hpp>

#include <memory>
#include <vector>

class CLogFormulaContext;

// The channels of one log in the document order of their Channel elements,
// and the slot cursor that hands each its consecutive slots of a group.
class ChunkProcessor {
public:
    // Empties the variable store and the list, then sets up every untagged
    // channel and every tagged one whose tag the mask holds completely.
    // Returns the slot total. A channel that cannot be set up (a formula
    // that fails, no formula or no label) is left out of the list, with the
    // message for it (as the user is to read it) in SetupMessages; when it
    // is tagged its slots still count, since the ESC records them whatever
    // the library says, so every other channel reads its own slots.
    int Setup(const pugi::xml_node& logger, uint16_t mask, CLogFormulaContext& context);

    // Evaluates every channel on one group; out receives one value per
    // channel.
    void EvaluateGroup(const uint8_t* group, std::vector<double>& out);

    const std::vector<std::shared_ptr<AnyData>>& Channels() const { return m_channels; }
    const QStringList& SetupMessages() const { return m_messages; }

    // The message shown for a channel that could not be set up.
    static QString SetupMessage(const AnyData::SetupError& error);

private:
    std::vector<std::shared_ptr<AnyData>> m_channels;
    std::vector<int> m_firstSlots;  // per channel: the slot cursor where its slots begin
    QStringList m_messages;
    int m_slots = 0;
};
