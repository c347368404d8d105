#include "library/CDeviceLibrary.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

CDeviceLibrary Loaded(const char* xml)
{
    CDeviceLibrary library;
    EXPECT_TRUE(library.LoadFromBuffer(xml)) << library.ErrorText().toStdString();
    return library;
}

QString IdOf(const CDeviceLibrary& library, int t, int r, int s)
{
    pugi::xml_node element;
    bool deprecated = false;
    if (!library.IdentifyDevice(t, r, s, element, deprecated))
        return QStringLiteral("none");
    return QString::fromUtf8(element.attribute("id").value());
}

} // namespace

TEST(DeviceLibrary, IdentificationFallsBackFromTypeRevisionSubToTypeAndPrefersTheMostSpecific)
{
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3"/><ESC id="3.1"/></L>)"), 3, 1, 2), "3.1");
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3"/></L>)"), 3, 1, 2), "3");
    // The full identity wins wherever it stands in the document.
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3"/><ESC id="3.1"/><ESC id="3.1.2"/></L>)"), 3, 1, 2), "3.1.2");
    // Ids compare as strings: a leading zero does not match.
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3.01"/></L>)"), 3, 1, 2), "none");
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="4"/></L>)"), 3, 1, 2), "none");
    // The first in document order wins.
    const CDeviceLibrary twice = Loaded(R"(<L><ESC id="3" name="a"/><ESC id="3" name="b"/></L>)");
    pugi::xml_node element;
    bool deprecated = true;
    ASSERT_TRUE(twice.IdentifyDevice(3, 0, 0, element, deprecated));
    EXPECT_STREQ(element.attribute("name").value(), "a");
    EXPECT_FALSE(deprecated);
}

TEST(DeviceLibrary, DeprecatedMarksOutdatedFirmwareWhileDepriciatedOnlyHidesFromTheAboutBox)
{
    const CDeviceLibrary library = Loaded(R"(<L><ESC id="1" depreciated="1"/><ESC id="2" depriciated="1"/></L>)");
    pugi::xml_node element;
    bool deprecated = false;
    ASSERT_TRUE(library.IdentifyDevice(1, 0, 0, element, deprecated));
    EXPECT_TRUE(deprecated);
    ASSERT_TRUE(library.IdentifyDevice(2, 0, 0, element, deprecated));
    EXPECT_FALSE(deprecated);
}

TEST(DeviceLibrary, SupportedDevicesAreSortedAndDeduplicatedIgnoringCaseKeepingTheFirstUrl)
{
    const CDeviceLibrary library = Loaded(R"(<L>
        <ESC id="1" name="beta"/>
        <ESC id="2" name="Alpha" url="http://a/1"/>
        <ESC id="3" name="ALPHA" url="http://a/2"/>
        <ESC id="4"/>
        <ESC id="5" name="Hidden" depriciated="1"/>
        <ESC id="6" name="Outdated" depreciated="1"/></L>)");
    const std::vector<SupportedDevice> devices = library.SupportedDevices();
    ASSERT_EQ(devices.size(), 3U);
    EXPECT_EQ(devices[0].name, "Alpha");
    EXPECT_EQ(devices[0].url, "http://a/1");
    EXPECT_EQ(devices[1].name, "beta");
    EXPECT_EQ(devices[1].url, "");
    EXPECT_EQ(devices[2].name, "Outdated");
}

TEST(DeviceLibrary, CapabilityLettersAreCapitalsFoundAnywhere)
{
    const CDeviceLibrary library = Loaded(R"(<L><ESC caps="SRM"/><ESC caps="rs"/><ESC caps="xRx"/></L>)");
    QStringList found;
    for (const pugi::xml_node& esc : library.Root().children("ESC")) {
        const Capabilities c = CDeviceLibrary::CapabilitiesOf(esc);
        found << QString("%1%2%3").arg(c.speedChange ? "S" : "", c.rangeReads ? "R" : "", c.melodies ? "M" : "");
    }
    EXPECT_EQ(found, QStringList({"SRM", "", "R"}));
}

TEST(DeviceLibrary, RootAttributesFallBackToTheirDefaults)
{
    const CDeviceLibrary bare = Loaded("<L/>");
    EXPECT_EQ(bare.StartTimeout(), 200);
    EXPECT_EQ(bare.AwakeTimeout(), 0);
    EXPECT_EQ(bare.MemloadTimeout(), 200);
    EXPECT_FALSE(bare.VersionText().has_value());
    EXPECT_EQ(bare.Version(), 0.0);

    const CDeviceLibrary set = Loaded(R"(<L version="1.25b" start_timeout="350ms" awake_timeout="x" memload_timeout="900"/>)");
    EXPECT_EQ(set.StartTimeout(), 350);
    EXPECT_EQ(set.AwakeTimeout(), 0);
    EXPECT_EQ(set.MemloadTimeout(), 900);
    EXPECT_EQ(set.VersionText().value_or(""), "1.25b");
    EXPECT_DOUBLE_EQ(set.Version(), 1.25);
}

TEST(DeviceLibrary, LoggerIsFoundByTheElementsOwnLeadingIdWithDefaults)
{
    const CDeviceLibrary library = Loaded(R"(<L>
        <ESC id="5.2" name="five"/><ESC id="6"/><ESC name="no id"/>
        <Loggers>
          <Logger id="5" mem_blocks="64"/>
          <Logger id="5.2.9" mem_blocks="8" inidata="64"/>
          <Logger id="7" mem_blocks="1"/>
        </Loggers><Loggers><Logger id="6" mem_blocks="3"/></Loggers></L>)");
    const auto escs = library.Root().children("ESC");
    auto it = escs.begin();
    const pugi::xml_node five = *it++;
    const pugi::xml_node six = *it++;
    const pugi::xml_node noId = *it;

    LoggerFacts facts = library.LoggerOf(five, 2, 1);
    EXPECT_STREQ(facts.logger.attribute("id").value(), "5");
    EXPECT_EQ(facts.memBlocks, 64U);
    EXPECT_EQ(facts.initialDataSize, 128U);

    facts = library.LoggerOf(five, 2, 9);
    EXPECT_EQ(facts.memBlocks, 8U);
    EXPECT_EQ(facts.initialDataSize, 64U);

    // Only the first Loggers element counts; without a logger both are 0.
    for (const pugi::xml_node& esc : {six, noId}) {
        facts = library.LoggerOf(esc, 0, 0);
        EXPECT_FALSE(facts.logger);
        EXPECT_EQ(facts.memBlocks, 0U);
        EXPECT_EQ(facts.initialDataSize, 0U);
    }
}

TEST(DeviceLibrary, CategorySelectionsFollowXPathComparisonRules)
{
    const CDeviceLibrary library = Loaded(R"(<L><Categories>
        <Category name="A"/><Category name="B" default="0"/>
        <Category name="C" default="1"/><Category name="D" default="yes"/>
        </Categories></L>)");
    QStringList regular;
    for (const pugi::xml_node& c : CDeviceLibrary::RegularCategories(library.Categories()))
        regular << c.attribute("name").value();
    EXPECT_EQ(regular, QStringList({"A", "B", "D"}));
    // Any default attribute makes a candidate; the first one is used.
    EXPECT_STREQ(CDeviceLibrary::DefaultCategory(library.Categories()).attribute("name").value(), "B");

    const CDeviceLibrary none = Loaded(R"(<L><Categories><Category name="A"/></Categories></L>)");
    EXPECT_FALSE(CDeviceLibrary::DefaultCategory(none.Categories()));
}

TEST(DeviceLibrary, ParameterSelectionsRelativeToTheEscElement)
{
    const CDeviceLibrary library = Loaded(R"(<L><ESC>
        <Parameter name="p1" cat="it's" refresh="0" cell="7"/>
        <Parameter name="p2" refresh="1"/>
        <Parameter name="p3" cat="x" panel_tag="volt"/>
        <Parameter name="p4"/>
        </ESC><Curves><Curve/><Curve/></Curves><Other><Curves><Curve/></Curves></Other></L>)");
    const pugi::xml_node esc = library.Root().child("ESC");
    auto names = [](const std::vector<pugi::xml_node>& nodes) {
        QStringList list;
        for (const pugi::xml_node& n : nodes)
            list << n.attribute("name").value();
        return list;
    };
    EXPECT_EQ(names(CDeviceLibrary::ParametersOfCategory(esc, "it's")), QStringList({"p1"}));
    EXPECT_EQ(names(CDeviceLibrary::ParametersWithoutCategory(esc)), QStringList({"p2", "p4"}));
    // refresh=true() holds for any parameter that has the attribute at all.
    EXPECT_EQ(names(CDeviceLibrary::RefreshParameters(esc)), QStringList({"p1", "p2"}));
    EXPECT_STREQ(CDeviceLibrary::ParameterOfCell(esc, 7).attribute("name").value(), "p1");
    EXPECT_STREQ(CDeviceLibrary::ParameterOfPanelTag(esc, "volt").attribute("name").value(), "p3");
    EXPECT_EQ(CDeviceLibrary::CurveCount(esc), 3);
}

TEST(DeviceLibrary, MalformedXmlIsRefusedWithTheParsersMessageAndLineKeepingTheOldDocument)
{
    CDeviceLibrary library;
    ASSERT_TRUE(library.LoadFromBuffer(R"(<L><ESC id="1"/></L>)"));
    EXPECT_FALSE(library.LoadFromBuffer("<L>\n<ESC id=\"2\">\n<Parameter></ESC>\n</L>"));
    EXPECT_FALSE(library.ErrorText().isEmpty());
    EXPECT_EQ(library.ErrorLine(), 3);
    EXPECT_STREQ(library.Root().child("ESC").attribute("id").value(), "1");

    EXPECT_FALSE(library.LoadFromBuffer(""));
    EXPECT_FALSE(library.ErrorText().isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath("lib.esc");
    EXPECT_FALSE(library.Load(path));
    EXPECT_FALSE(library.ErrorText().isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<L><ESC id="9"/></L>)");
    file.close();
    ASSERT_TRUE(library.Load(path));
    EXPECT_EQ(IdOf(library, 9, 0, 0), "9");
}
