// The sample device library describes the simulated devices: every entry,
// parameter, logger channel and curve refers to cells that the simulator's
// profiles define, with the library's defaults as the delivered settings.

#include "CSimProfile.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cmath>
#include <regex>
#include <set>

namespace {

std::string LibraryPath()
{
    // Not derived from __FILE__: a compiler cache may make that path relative.
    return TORV_SOURCE_DIR "/src/resources/Brisko.esc";
}

CSimProfile ProfileNamed(const std::string& name)
{
    CSimProfile profile;
    EXPECT_TRUE(CSimProfile::Find(name, profile)) << name;
    return profile;
}

// Every cell a formula reads through cell(n) or cellw(a,b).
std::vector<int> FormulaCells(const std::string& formula)
{
    std::vector<int> cells;
    static const std::regex call(R"(cellw?\(\s*(\d+)\s*(?:,\s*(\d+)\s*)?\))");
    for (auto it = std::sregex_iterator(formula.begin(), formula.end(), call); it != std::sregex_iterator(); ++it)
        for (std::size_t group = 1; group <= 2; ++group)
            if ((*it)[group].matched)
                cells.push_back(std::stoi((*it)[group]));
    return cells;
}

class SimLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        const pugi::xml_parse_result parsed = m_doc.load_file(LibraryPath().c_str());
        ASSERT_TRUE(parsed) << LibraryPath() << ": " << parsed.description();
        m_root = m_doc.document_element();
    }

    pugi::xml_node FullDevice() const { return m_root.find_child_by_attribute("ESC", "id", "3.2.4"); }

    pugi::xml_document m_doc;
    pugi::xml_node m_root;
};

} // namespace

TEST_F(SimLibrary, SampleParsesAndEveryParameterRefersToCellsItsDeviceDefines)
{
    std::set<std::string> categories;
    for (pugi::xml_node category : m_root.child("Categories").children("Category"))
        categories.insert(category.attribute("name").value());
    EXPECT_EQ(m_root.child("Categories").select_nodes("Category[@default=true()]").size(), 1U);

    for (pugi::xml_node esc : m_root.children("ESC")) {
        const std::string id = esc.attribute("id").value();
        const CSimProfile profile = ProfileNamed(esc.attribute("id").as_int() == 5 ? "plain" : "full");
        const std::array<uint8_t, 256> cells = profile.InitialCells();
        int shown = 0;
        for (pugi::xml_node parameter : esc.children("Parameter")) {
            SCOPED_TRACE(id + " / " + parameter.attribute("name").value());
            const std::string type = parameter.attribute("type").value();
            if (parameter.attribute("cat")) {
                EXPECT_EQ(categories.count(parameter.attribute("cat").value()), 1U);
            }
            if (parameter.attribute("panel_tag")) {
                // Panel-only readouts stay out of the list and read the telemetry record at 128..191.
                EXPECT_TRUE(type.empty());
                for (int cell : FormulaCells(parameter.attribute("formula").value())) {
                    EXPECT_GE(cell, 128);
                    EXPECT_LE(cell, 191);
                }
                continue;
            }
            ++shown;
            EXPECT_TRUE(parameter.attribute("description")) << "every row explains itself";
            if (type == "formula") {
                const std::vector<int> used = FormulaCells(parameter.attribute("formula").value());
                EXPECT_FALSE(used.empty());
                for (int cell : used)
                    EXPECT_TRUE(profile.DefinesCell(cell)) << cell;
                continue;
            }
            int raw = 0;
            for (const char* attribute : {"cell", "lo_byte_cell"}) {
                if (!parameter.attribute(attribute))
                    continue;
                const int cell = parameter.attribute(attribute).as_int();
                EXPECT_LT(cell, 64) << "settings live in cells 0-63";
                EXPECT_TRUE(profile.DefinesCell(cell));
                EXPECT_FALSE(profile.IsReadOnly(cell));
                raw = raw * 256 + cells[static_cast<std::size_t>(cell & 0xFF)];
            }
            ASSERT_TRUE(parameter.attribute("cell") && parameter.attribute("default"));
            EXPECT_EQ(raw, parameter.attribute("default").as_int()) << "the device is delivered with the defaults";

            if (type == "list") {
                const std::string query = "Value[@val=" + std::to_string(raw) + " and @string]";
                EXPECT_TRUE(parameter.select_node(query.c_str())) << "the default is one of the entries";
            } else if (type == "range") {
                const double step = parameter.attribute("step").as_double();
                const double scale = parameter.attribute("scale").as_double(1.0);
                const double offset = parameter.attribute("offset").as_double(0.0);
                ASSERT_GT(step, 0.0);
                const double value = std::floor(raw / scale + offset + 0.5) * step;
                EXPECT_GE(value, parameter.attribute("min").as_double() - 1e-9);
                EXPECT_LE(value, parameter.attribute("max").as_double() + 1e-9);
                EXPECT_EQ(std::floor((value / step - offset) * scale + 0.5), raw) << "the shown value codes back";
            } else if (type == "check") {
                EXPECT_LE(raw, 1);
            }
        }
        EXPECT_GT(shown, 0) << id;
    }
    for (const char* tag : {"servo", "RPM", "voltage", "current", "tempA"}) {
        const std::string query = std::string("Parameter[@panel_tag=\"") + tag + "\" and @formula and @format]";
        EXPECT_TRUE(FullDevice().select_node(query.c_str())) << tag;
    }
}

TEST_F(SimLibrary, CurvesAreTheFullDevicesCurveCells)
{
    const CSimProfile profile = ProfileNamed("full");
    const std::array<uint8_t, 256> cells = profile.InitialCells();
    const pugi::xpath_node_set curves = FullDevice().select_nodes("//Curves/Curve");
    ASSERT_EQ(curves.size(), profile.curves.size());
    ASSERT_EQ(curves.size(), 2U);
    for (std::size_t index = 0; index < curves.size(); ++index) {
        const pugi::xml_node curve = curves[index].node();
        const CSimProfile::Curve& expected = profile.curves[index];
        EXPECT_EQ(std::string(curve.attribute("name").value()), expected.name);
        EXPECT_EQ(curve.attribute("start").as_int(), expected.start);
        ASSERT_EQ(static_cast<std::size_t>(curve.attribute("length").as_int()), expected.points.size());
        EXPECT_GE(expected.points.size(), 3U);
        for (std::size_t i = 0; i < expected.points.size(); ++i) {
            const int cell = (expected.start + static_cast<int>(i)) % 256;
            EXPECT_LT(cell, 64) << "curves are settings";
            EXPECT_TRUE(profile.DefinesCell(cell));
            EXPECT_EQ(cells[static_cast<std::size_t>(cell)], expected.points[i]);
        }
    }
}

TEST_F(SimLibrary, LoggerChannelsReadDefinedCellsAndCoverTheMasksOfTheStoredLogs)
{
    const pugi::xml_node logger = m_root.child("Loggers").find_child_by_attribute("Logger", "id", "3.2");
    ASSERT_TRUE(logger);
    EXPECT_FALSE(m_root.child("Loggers").find_child_by_attribute("Logger", "id", "5")) << "the plain device has none";
    const CSimProfile profile = ProfileNamed("full");
    EXPECT_EQ(logger.attribute("mem_blocks").as_int(), profile.memBlocks);

    std::vector<uint16_t> tags;
    for (pugi::xml_node channel : logger.children("Channel")) {
        SCOPED_TRACE(channel.attribute("label").value());
        EXPECT_TRUE(channel.attribute("label") && channel.attribute("formula") && channel.attribute("color"));
        for (int cell : FormulaCells(channel.attribute("formula").value())) {
            EXPECT_LT(cell, logger.attribute("inidata").as_int(128)) << "formulas read the calibration snapshot";
            EXPECT_TRUE(profile.DefinesCell(cell));
        }
        if (channel.attribute("tag"))
            tags.push_back(static_cast<uint16_t>(channel.attribute("tag").as_int()));
    }
    ASSERT_EQ(tags.size(), profile.loggerChannels.size());
    for (std::size_t i = 0; i < tags.size(); ++i)
        EXPECT_EQ(tags[i], profile.loggerChannels[i].tag) << "slots follow the document order";
    for (const CSimProfile::LogPlan& log : profile.logs) {
        uint16_t covered = 0;
        for (uint16_t tag : tags)
            if ((log.mask & tag) == tag)
                covered |= tag;
        EXPECT_EQ(covered, log.mask) << "log " << int(log.number) << ": every mask bit belongs to a channel";
    }
}
