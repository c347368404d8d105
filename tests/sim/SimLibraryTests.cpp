// The sample device library describes the simulated devices: every entry,
// parameter, logger channel and curve refers to cells that the simulator's
// profiles define, with the library's defaults as the delivered settings.

#include "CEscSimulator.h"
#include "CSimProfile.h"

#include <gtest/gtest.h>
#include <muParser.h>
#include <pugixml.hpp>

#include <cmath>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

std::string LibraryPath()
{
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/sim/")) + "/src/resources/Brisko.esc";
}

class SimLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_doc = new pugi::xml_document;
        s_parsed = s_doc->load_file(LibraryPath().c_str());
    }
    static void TearDownTestSuite()
    {
        delete s_doc;
        s_doc = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_parsed) << LibraryPath() << ": " << s_parsed.description();
    }

    static pugi::xml_node Root() { return s_doc->document_element(); }

    // The identification look-up: type.major.minor, then type.major, then type.
    static pugi::xml_node Identify(int type, int major, int minor)
    {
        char query[64];
        std::snprintf(query, sizeof query, "ESC[@id=\"%d.%d.%d\"]", type, major, minor);
        pugi::xml_node node = Root().select_node(query).node();
        if (!node) {
            std::snprintf(query, sizeof query, "ESC[@id=\"%d.%d\"]", type, major);
            node = Root().select_node(query).node();
        }
        if (!node) {
            std::snprintf(query, sizeof query, "ESC[@id=\"%d\"]", type);
            node = Root().select_node(query).node();
        }
        return node;
    }

    static CSimProfile ProfileOfType(int type)
    {
        CSimProfile profile;
        CSimProfile::Find(type == 5 ? "plain" : "full", profile);
        return profile;
    }

    static pugi::xml_document* s_doc;
    static pugi::xml_parse_result s_parsed;
};

pugi::xml_document* SimLibrary::s_doc = nullptr;
pugi::xml_parse_result SimLibrary::s_parsed;

// Every cell a formula reads through cell(n) or cellw(a,b).
std::vector<int> FormulaCells(const std::string& formula)
{
    std::vector<int> cells;
    static const std::regex single(R"(cell\(\s*(\d+)\s*\))");
    static const std::regex word(R"(cellw\(\s*(\d+)\s*,\s*(\d+)\s*\))");
    for (auto it = std::sregex_iterator(formula.begin(), formula.end(), single); it != std::sregex_iterator(); ++it)
        cells.push_back(std::stoi((*it)[1]));
    for (auto it = std::sregex_iterator(formula.begin(), formula.end(), word); it != std::sregex_iterator(); ++it) {
        cells.push_back(std::stoi((*it)[1]));
        cells.push_back(std::stoi((*it)[2]));
    }
    return cells;
}

} // namespace

TEST_F(SimLibrary, RootCarriesVersionAndTimeouts)
{
    EXPECT_STREQ(Root().name(), "Brisko");
    EXPECT_GT(Root().attribute("version").as_double(), 0.0);
    EXPECT_EQ(Root().attribute("start_timeout").as_int(), 200);
    EXPECT_EQ(Root().attribute("awake_timeout").as_int(), 1000);
    EXPECT_EQ(Root().attribute("memload_timeout").as_int(), 300);
}

TEST_F(SimLibrary, EachProfileIsIdentifiedByItsOwnEntry)
{
    for (const std::string& name : CEscSimulator::ProfileNames()) {
        SCOPED_TRACE(name);
        CEscSimulator::Options options;
        options.profile = name;
        CEscSimulator sim(options);
        CSimProfile profile;
        ASSERT_TRUE(CSimProfile::Find(name, profile));
        const pugi::xml_node esc = Identify(sim.Cell(64), sim.Cell(65), sim.Cell(66));
        ASSERT_TRUE(esc);
        EXPECT_EQ(std::string(esc.attribute("id").value()), profile.libraryId);
        EXPECT_EQ(std::string(esc.attribute("caps").value()), profile.caps);
        EXPECT_EQ(esc.attribute("depreciated").as_int() != 0, name == "deprecated");

        // Corrupted version cells still find the device type's general entry.
        for (int version : {0, 255}) {
            const pugi::xml_node fallback = Identify(sim.Cell(64), version, version);
            ASSERT_TRUE(fallback);
            EXPECT_EQ(std::string(fallback.attribute("id").value()), std::to_string(sim.Cell(64)));
            EXPECT_EQ(fallback.attribute("depreciated").as_int(), 0);
        }
    }
    // The firmware that an upload brings is a current entry.
    CSimProfile full;
    CSimProfile::Find("full", full);
    EXPECT_EQ(Identify(full.type, full.major, full.minor).attribute("depreciated").as_int(), 0);
}

TEST_F(SimLibrary, CapabilitiesMatchWhatTheDevicesDo)
{
    for (const std::string& name : CEscSimulator::ProfileNames()) {
        SCOPED_TRACE(name);
        CSimProfile profile;
        CSimProfile::Find(name, profile);
        const std::array<uint8_t, 256> cells = profile.InitialCells();
        const bool speeds = profile.caps.find('S') != std::string::npos;
        // A speed upgrade needs a faster speed than 19200 in cell 94.
        EXPECT_EQ(speeds, (cells[94] & 0xF8) != 0 && cells[94] != 0xFF);
        EXPECT_NE(cells[94] & 0x04, 0) << "every device speaks 19200 baud";
        if (profile.caps.find('M') != std::string::npos) {
            // A custom 'A' melody: lead byte, notes, terminator within 15 cells.
            int length = 0;
            while (length < 15 && cells[static_cast<std::size_t>(160 + length)] != 0xFF)
                ++length;
            EXPECT_GE(length, 2);
            EXPECT_LT(length, 15);
        }
    }
}

TEST_F(SimLibrary, EveryParameterRefersToCellsItsDeviceDefines)
{
    std::set<std::string> categories;
    for (pugi::xml_node category : Root().child("Categories").children("Category"))
        categories.insert(category.attribute("name").value());

    for (pugi::xml_node esc : Root().children("ESC")) {
        const std::string id = esc.attribute("id").value();
        const CSimProfile profile = ProfileOfType(esc.attribute("id").as_int());
        const std::array<uint8_t, 256> cells = profile.InitialCells();
        int shown = 0;
        for (pugi::xml_node parameter : esc.children("Parameter")) {
            const std::string name = parameter.attribute("name").value();
            SCOPED_TRACE(id + " / " + name);
            EXPECT_FALSE(name.empty());
            const std::string type = parameter.attribute("type").value();
            if (parameter.attribute("cat")) {
                EXPECT_EQ(categories.count(parameter.attribute("cat").value()), 1U);
            }

            if (parameter.attribute("panel_tag")) {
                // Panel readouts read the telemetry record at cells 128..191.
                EXPECT_TRUE(type.empty()) << "panel-only readouts stay out of the list";
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
            ASSERT_TRUE(parameter.attribute("cell"));
            const int cell = parameter.attribute("cell").as_int();
            EXPECT_LT(cell, 64) << "settings live in cells 0-63";
            EXPECT_TRUE(profile.DefinesCell(cell));
            EXPECT_FALSE(profile.IsReadOnly(cell));
            int raw = cells[static_cast<std::size_t>(cell)];
            if (parameter.attribute("lo_byte_cell")) {
                const int low = parameter.attribute("lo_byte_cell").as_int();
                EXPECT_LT(low, 64);
                EXPECT_TRUE(profile.DefinesCell(low));
                raw = raw * 256 + cells[static_cast<std::size_t>(low)];
            }
            ASSERT_TRUE(parameter.attribute("default"));
            EXPECT_EQ(raw, parameter.attribute("default").as_int()) << "the device is delivered with the defaults";

            if (type == "list") {
                std::set<int> values;
                for (pugi::xml_node value : parameter.children("Value")) {
                    EXPECT_TRUE(value.attribute("string"));
                    values.insert(value.attribute("val").as_int());
                }
                EXPECT_EQ(values.count(raw), 1U) << "the default is one of the entries";
            } else if (type == "range") {
                const double min = parameter.attribute("min").as_double();
                const double max = parameter.attribute("max").as_double();
                const double step = parameter.attribute("step").as_double();
                const double scale = parameter.attribute("scale").as_double(1.0);
                const double offset = parameter.attribute("offset").as_double(0.0);
                ASSERT_GT(step, 0.0);
                const double value = std::floor(raw / scale + offset + 0.5) * step;
                EXPECT_GE(value, min - 1e-9);
                EXPECT_LE(value, max + 1e-9);
                // The shown value codes back into the same raw value.
                EXPECT_EQ(std::floor((value / step - offset) * scale + 0.5), raw);
            } else if (type == "check") {
                EXPECT_LE(raw, 1);
            }
        }
        EXPECT_GT(shown, 0) << id;
        if (id == "3.2.4") {
            EXPECT_GE(shown, 20);
            EXPECT_LE(shown, 30);
        }
    }
}

TEST_F(SimLibrary, CategoriesHaveOneDefaultAndACollapsedOne)
{
    const pugi::xml_node list = Root().child("Categories");
    EXPECT_EQ(list.select_nodes("Category[@default=true()]").size(), 1U);
    EXPECT_EQ(std::string(list.select_node("Category[@default=true()]").node().attribute("default").value()), "1");
    EXPECT_GE(list.select_nodes("Category[@collapsed=\"1\"]").size(), 1U);
    for (pugi::xml_node category : list.children("Category")) {
        EXPECT_TRUE(category.attribute("label"));
        EXPECT_TRUE(category.attribute("description"));
    }
    // Every category of the grouped device holds parameters.
    const pugi::xml_node full = Identify(3, 2, 4);
    for (pugi::xml_node category : list.children("Category")) {
        if (category.attribute("default"))
            continue;
        const std::string query = std::string("Parameter[@cat=\"") + category.attribute("name").value() + "\"]";
        EXPECT_FALSE(full.select_nodes(query.c_str()).empty()) << query;
    }
}

TEST_F(SimLibrary, FullDeviceHasEveryPanelReadoutAndTwoCurves)
{
    const pugi::xml_node full = Identify(3, 2, 4);
    for (const char* tag : {"servo", "RPM", "voltage", "current", "tempA"}) {
        const std::string query = std::string("Parameter[@panel_tag=\"") + tag + "\"]";
        const pugi::xml_node readout = full.select_node(query.c_str()).node();
        EXPECT_TRUE(readout) << tag;
        EXPECT_TRUE(readout.attribute("formula")) << tag;
        EXPECT_TRUE(readout.attribute("format")) << tag;
    }
    pugi::xpath_query count("count(//Curves/Curve)");
    EXPECT_EQ(count.evaluate_number(full), 2.0);

    CSimProfile profile;
    CSimProfile::Find("full", profile);
    const std::array<uint8_t, 256> cells = profile.InitialCells();
    std::size_t index = 0;
    for (pugi::xpath_node node : full.select_nodes("//Curves/Curve")) {
        const pugi::xml_node curve = node.node();
        ASSERT_LT(index, profile.curves.size());
        EXPECT_EQ(std::string(curve.attribute("name").value()), profile.curves[index].name);
        EXPECT_EQ(curve.attribute("start").as_int(), profile.curves[index].start);
        const int length = curve.attribute("length").as_int();
        EXPECT_EQ(static_cast<std::size_t>(length), profile.curves[index].points.size());
        EXPECT_GE(length, 3);
        for (int i = 0; i < length; ++i) {
            const int cell = (curve.attribute("start").as_int() + i) % 256;
            EXPECT_LT(cell, 64) << "curves are settings";
            EXPECT_TRUE(profile.DefinesCell(cell));
            EXPECT_EQ(cells[static_cast<std::size_t>(cell)], profile.curves[index].points[static_cast<std::size_t>(i)]);
        }
        ++index;
    }
}

TEST_F(SimLibrary, LoggerChannelsCoverTheMasksOfTheStoredLogs)
{
    const pugi::xml_node logger = Root().child("Loggers").select_node("Logger[@id=\"3.2\"]").node();
    ASSERT_TRUE(logger);
    CSimProfile profile;
    CSimProfile::Find("full", profile);
    EXPECT_EQ(logger.attribute("mem_blocks").as_int(), profile.memBlocks);
    const int inidata = logger.attribute("inidata").as_int(128);

    std::vector<uint16_t> tags;
    for (pugi::xml_node channel : logger.children("Channel")) {
        SCOPED_TRACE(channel.attribute("label").value());
        EXPECT_TRUE(channel.attribute("label"));
        EXPECT_TRUE(channel.attribute("formula"));
        EXPECT_TRUE(channel.attribute("color"));
        for (int cell : FormulaCells(channel.attribute("formula").value())) {
            EXPECT_LT(cell, inidata) << "formulas read the calibration snapshot";
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
    // The device without a logger has no logger entry.
    EXPECT_FALSE(Root().child("Loggers").select_node("Logger[@id=\"5\"]"));
}

TEST_F(SimLibrary, EveryElementAndAttributeOfTheSchemaIsUsed)
{
    const char* queries[] = {
        "/*[@version and @start_timeout and @awake_timeout and @memload_timeout]",
        "ESC[@id and not(contains(@id, '.'))]",
        "ESC[string-length(@id) - string-length(translate(@id, '.', '')) = 1]",
        "ESC[string-length(@id) - string-length(translate(@id, '.', '')) = 2]",
        "ESC[@depreciated=\"1\"]", "ESC[@depriciated=\"1\"]", "ESC[@url]", "ESC[@usecat=\"1\"]", "ESC[@caps=\"SRM\"]",
        "ESC/Parameter[@type=\"list\"]/Value[@val and @string]", "ESC/Parameter[@type=\"check\"]",
        "ESC/Parameter[@type=\"range\" and @min and @max and @step and @scale]",
        "ESC/Parameter[@type=\"range\" and @offset]", "ESC/Parameter[@type=\"formula\" and @formula and @format]",
        "ESC/Parameter[@type=\"number\"]", "ESC/Parameter[@lo_byte_cell]", "ESC/Parameter[@refresh=\"1\"]",
        "ESC/Parameter[@description and @default and @cat]", "ESC/Parameter[@panel_tag]",
        "Categories/Category[@name and @label and @default and @description]", "Categories/Category[@collapsed=\"1\"]",
        "Loggers/Logger[@id and @mem_blocks and @inidata]", "Loggers/Logger/Channel[@tag and @label and @formula and @color]",
        "Loggers/Logger/Channel[@var]", "Loggers/Logger/Channel[not(@tag)]",
        "Loggers/Logger/Channel[contains(@formula, 'cellw(')]", "Loggers/Logger/Channel[contains(@formula, 'cell(')]",
        "//Curves/Curve[@name and @start and @length]",
    };
    for (const char* query : queries)
        EXPECT_FALSE(Root().select_nodes(query).empty()) << query;
}

// ---------------------------------------------------------------------------
// Decoding the generated logs with the library's channel formulas.

namespace {

const std::array<uint8_t, 256>* g_snapshot = nullptr;

double SnapshotCell(double index)
{
    return (*g_snapshot)[static_cast<std::size_t>(static_cast<int>(std::floor(index)) & 0xFF)];
}

double SnapshotCellw(double low, double high)
{
    return SnapshotCell(low) + 256.0 * SnapshotCell(high);
}

struct DecodedLog {
    int number = 0;
    double dt = 0.0;
    std::map<std::string, std::vector<double>> series;
};

int SlotsOf(int tag)
{
    int count = 0;
    int bit = 0;
    while (bit < 16 && ((tag >> bit) & 1) == 0)
        ++bit;
    while (bit + count < 16 && ((tag >> (bit + count)) & 1) != 0)
        ++count;
    return count;
}

std::vector<DecodedLog> DecodeLogs(const pugi::xml_node& logger, const std::vector<uint8_t>& memory, const std::array<uint8_t, 256>& cells)
{
    g_snapshot = &cells;
    std::vector<DecodedLog> logs;
    std::map<std::string, double> shared;  // volt, amp, watt, wh, dt, t
    const std::size_t pages = memory.size() / 264;
    for (std::size_t page = 0; page < pages; ++page) {
        const uint8_t* bytes = memory.data() + page * 264;
        if (std::all_of(bytes, bytes + 8, [](uint8_t b) { return b == 0xFF; }))
            break;
        const int mask = bytes[2] + 256 * bytes[3];
        if (logs.empty() || logs.back().number != bytes[0]) {
            logs.push_back(DecodedLog{bytes[0], bytes[1] / 50.0, {}});
            shared.clear();
        }
        DecodedLog& log = logs.back();
        struct Channel {
            std::string label;
            int slots;
            std::unique_ptr<mu::Parser> parser;
            double w0 = 0, w1 = 0;
            std::string var;
        };
        std::vector<std::unique_ptr<Channel>> channels;
        for (const char* name : {"volt", "amp", "watt", "wh", "dt", "t"})
            shared.emplace(name, 0.0);
        shared["dt"] = log.dt;
        int slots = 0;
        for (pugi::xml_node node : logger.children("Channel")) {
            const int tag = node.attribute("tag").as_int(0);
            if (tag != 0 && (mask & tag) != tag)
                continue;
            auto channel = std::make_unique<Channel>();
            channel->label = node.attribute("label").value();
            channel->slots = SlotsOf(tag);
            channel->var = node.attribute("var").value();
            channel->parser = std::make_unique<mu::Parser>();
            channel->parser->DefineVar("w0", &channel->w0);
            channel->parser->DefineVar("w1", &channel->w1);
            for (auto& [name, value] : shared)
                channel->parser->DefineVar(name, &value);
            channel->parser->DefineFun("cell", SnapshotCell, false);
            channel->parser->DefineFun("cellw", SnapshotCellw, false);
            channel->parser->SetExpr(node.attribute("formula").value());
            slots += channel->slots;
            channels.push_back(std::move(channel));
        }
        const std::size_t group = static_cast<std::size_t>((slots + 1) / 2 * 3);
        for (std::size_t offset = 8; group > 0 && offset + group <= 264; offset += group) {
            std::vector<int> values;
            for (std::size_t i = 0; i < group; i += 3) {
                const uint8_t* g = bytes + offset + i;
                values.push_back(g[0] * 16 + g[1] / 16);
                values.push_back((g[1] % 16) * 256 + g[2]);
            }
            std::size_t cursor = 0;
            for (auto& channel : channels) {
                if (channel->slots > 0) {
                    channel->w0 = values[cursor];
                    channel->w1 = channel->slots > 1 ? values[cursor + 1] : 0;
                    cursor += static_cast<std::size_t>(channel->slots);
                }
                const double value = channel->parser->Eval();
                if (!channel->var.empty())
                    shared[channel->var] = value;
                log.series[channel->label].push_back(value);
            }
            shared["t"] += log.dt;
        }
    }
    return logs;
}

double MaxOf(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }
double MinOf(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

} // namespace

TEST_F(SimLibrary, GeneratedLogsDecodeToAPlausibleRun)
{
    CEscSimulator sim;
    const pugi::xml_node logger = Root().child("Loggers").select_node("Logger[@id=\"3.2\"]").node();
    const std::vector<DecodedLog> logs = DecodeLogs(logger, sim.LoggerMemory(), sim.Cells());
    ASSERT_EQ(logs.size(), 3U);

    // Log 1, a flight with every channel.
    const auto& flight = logs[0].series;
    ASSERT_EQ(flight.size(), 8U);
    const auto& throttle = flight.at("Throttle");
    EXPECT_EQ(throttle.size(), 20U * 21U);
    EXPECT_NEAR(MinOf(throttle), 0.0, 0.5);
    EXPECT_NEAR(MaxOf(throttle), 85.0, 1.0);
    const auto& volt = flight.at("Voltage");
    const auto& amp = flight.at("Current");
    EXPECT_GT(MinOf(volt), 14.0);
    EXPECT_LT(MaxOf(volt), 16.9);
    EXPECT_GT(MaxOf(amp), 40.0);
    // The voltage sags under current: the lowest voltage comes with a high current.
    const std::size_t sag = static_cast<std::size_t>(std::min_element(volt.begin(), volt.end()) - volt.begin());
    EXPECT_GT(amp[sag], 30.0);
    const auto& capacity = flight.at("Capacity");
    EXPECT_TRUE(std::is_sorted(capacity.begin(), capacity.end()));
    EXPECT_GT(capacity.back(), 100.0);
    const auto& energy = flight.at("Energy");
    EXPECT_TRUE(std::is_sorted(energy.begin(), energy.end()));
    EXPECT_GT(energy.back(), 1.0);
    EXPECT_NEAR(flight.at("Power")[sag], volt[sag] * amp[sag], 1e-6);

    // Log 2, full throttle: the RPM follows the throttle up to full speed.
    const auto& rpm = logs[1].series.at("RPM");
    EXPECT_EQ(logs[1].series.count("Temperature"), 0U);
    EXPECT_NEAR(rpm.front(), 0.0, 1.0);
    EXPECT_GT(MaxOf(rpm), 8500.0);
    EXPECT_LT(MaxOf(rpm), 9100.0);

    // Log 3, a long cruise: the temperature rises.
    const auto& temperature = logs[2].series.at("Temperature");
    EXPECT_GT(temperature.back(), temperature.front() + 3.0);
    EXPECT_DOUBLE_EQ(logs[2].dt, 0.5);
}
