#pragma once

#include "library/CChanMap.h"
#include "library/CDeviceLibrary.h"
#include "library/CFormulaTable.h"
#include "library/CParameterModel.h"
#include "library/CPropertyList.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <set>
#include <vector>

// Runs the test with a fixed default locale and puts the old one back.
class LocaleGuard {
public:
    explicit LocaleGuard(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

// A device whose cells are a table; it records every call. A write clears
// the cell's loaded bit in the image, as the device protocol does.
class TableDevice : public ICellLoader, public ICellWriter {
public:
    struct Call {
        char op;    // 'r' single read, 'R' range read (cell..value), 'w' write
        int cell;
        int value;
        bool operator==(const Call& o) const { return op == o.op && cell == o.cell && value == o.value; }
        friend std::ostream& operator<<(std::ostream& os, const Call& c)
        {
            return os << c.op << '(' << c.cell << ',' << c.value << ')';
        }
    };

    std::array<uint8_t, 256> cells{};
    std::vector<Call> calls;
    mutable int pausedMs = 0;   // the pacing waits asked for after writes
    std::set<int> failingReads;
    std::set<int> failingWrites;
    bool failRange = false;
    CChanMap* image = nullptr;

    bool LoadCell(int cell, uint8_t& value) override
    {
        calls.push_back({'r', cell, 0});
        if (failingReads.count(cell) != 0)
            return false;
        value = cells[static_cast<size_t>(cell)];
        return true;
    }

    bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) override
    {
        calls.push_back({'R', first, last});
        if (failRange)
            return false;
        for (int i = first; i <= last; ++i)
            out[i] = cells[static_cast<size_t>(i)];
        return true;
    }

    void Pause(int ms) const override { pausedMs += ms; }
    bool Probe() override { return true; }
    bool WriteCell(uint8_t cell, uint8_t value) override
    {
        calls.push_back({'w', cell, value});
        if (failingWrites.count(cell) != 0)
            return false;
        cells[cell] = value;
        if (image != nullptr)
            image->InvalidateCell(cell);
        return true;
    }

    std::vector<Call> Only(char op) const
    {
        std::vector<Call> picked;
        for (const Call& c : calls) {
            if (c.op == op)
                picked.push_back(c);
        }
        return picked;
    }
};

// A library, a list, an image, a device and the model over them.
class ModelTest : public ::testing::Test {
protected:
    CDeviceLibrary library;
    CPropertyList list;
    CChanMap image;
    TableDevice device;
    CFormulaTable formulas;
    CParameterModel model{library, list, image, device, formulas};

    void SetUp() override
    {
        device.image = &image;
        image.ResetImage(256, &device, false);
        CFormulaTable::SetCurrentImage(&image);
    }
    void TearDown() override { CFormulaTable::SetCurrentImage(nullptr); }

    // Loads a library whose root holds the given XML and returns its first ESC.
    pugi::xml_node Load(const QByteArray& body)
    {
        EXPECT_TRUE(library.LoadFromBuffer("<Lib>" + body + "</Lib>")) << library.ErrorText().toStdString();
        return library.Root().child("ESC");
    }

    IProperty* Row(const char* name) const
    {
        for (int i = 0; i < list.Count(); ++i) {
            if (list.At(i)->Name() == QLatin1String(name))
                return list.At(i);
        }
        return nullptr;
    }

    QStringList Names() const
    {
        QStringList names;
        for (int i = 0; i < list.Count(); ++i)
            names << list.At(i)->Name();
        return names;
    }

    static QString Text(const IProperty* row)
    {
        QString text;
        return row != nullptr && row->GetDisplayText(text) ? text : QStringLiteral("<none>");
    }
};
