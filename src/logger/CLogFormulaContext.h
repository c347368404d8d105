#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mu {
class Parser;
}

// What the channel formulas of one log see besides w0 and w1: the
// calibration snapshot (through cell and cellw) and the variable store that
// every formula shares. A variable name met for the first time is created
// with the value 0; its address stays valid until Clear.
class CLogFormulaContext {
public:
    explicit CLogFormulaContext(std::vector<uint8_t> snapshot = {});
    CLogFormulaContext(const CLogFormulaContext&) = delete;
    CLogFormulaContext& operator=(const CLogFormulaContext&) = delete;

    const std::vector<uint8_t>& Snapshot() const { return m_snapshot; }

    // The store's variable of that name, created with 0 when new.
    double* Variable(const std::string& name);
    // Empties the store. Parsers built before hold dangling addresses:
    // only call it before the channels are set up again.
    void Clear() { m_variables.clear(); }

    // Installs the variable factory and the functions cell and cellw.
    void Install(mu::Parser& parser);

private:
    std::vector<uint8_t> m_snapshot;
    std::map<std::string, double> m_variables;
};
