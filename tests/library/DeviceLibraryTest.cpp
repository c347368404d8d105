#include "library/CDeviceLibrary.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

CDeviceLibrary Loaded(const char* xml)
{
    CDeviceLibrary library;
    EXPECT_TRUE(library.LoadFromBuffer(xml)) << library.ErrorText().toStdString();
    return library;
}

// The id of the element identified for the device, with "!" when it marks
// outdated firmware; "none" when no element fits.
QString IdOf(const CDeviceLibrary& library, int t, int r, int s)
{
    pugi::xml_node element;
    bool deprecated = false;
    if (!library.IdentifyDevice(t, r, s, element, deprecated))
        return QStringLiteral("none");
    return QString::fromUtf8(element.attribute("id").value()) + (deprecated ? "!" : "");
}

QStringList NamesOf(const std::vector<pugi::xml_node>& nodes)
{
    QStringList names;
    for (const pugi::xml_node& n : nodes)
        names << n.attribute("name").value();
    return names;
}

} // namespace

TEST(DeviceLibrary, IdentificationPrefersTheMostSpecificIdWhereverItStandsAndMarksDeprecatedFirmware)
{
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3"/><ESC id="3.1"/></L>)"), 3, 1, 2), "3.1");
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3"/></L>)"), 3, 1, 2), "3");
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3"/><ESC id="3.1"/><ESC id="3.1.2"/></L>)"), 3, 1, 2), "3.1.2");
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3.1.2"/><ESC id="3.1"/><ESC id="3"/></L>)"), 3, 1, 2), "3.1.2");
    // Ids compare as strings: a leading zero does not match.
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3.01"/><ESC id="4"/></L>)"), 3, 1, 2), "none");
    // The first in document order wins among equals.
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="3" depreciated="1"/><ESC id="3"/></L>)"), 3, 0, 0), "3!");
    // "depriciated" only hides the device from the About box.
    EXPECT_EQ(IdOf(Loaded(R"(<L><ESC id="2" depriciated="1"/></L>)"), 2, 0, 0), "2");
}

TEST(DeviceLibrary, SupportedDevicesAreSortedAndDeduplicatedIgnoringCaseKeepingTheFirstUrl)
{
    const CDeviceLibrary library = Loaded(R"(<L>
        <ESC id="1" name="beta"/><ESC id="2" name="Alpha" url="http://a/1"/>
        <ESC id="3" name="ALPHA" url="http://a/2"/><ESC id="4"/>
        <ESC id="5" name="Hidden" depriciated="1"/><ESC id="6" name="Outdated" depreciated="1"/></L>)");
    QStringList shown;
    for (const SupportedDevice& d : library.SupportedDevices())
        shown << d.name + " " + d.url;
    EXPECT_EQ(shown, QStringList({"Alpha http://a/1", "beta ", "Outdated "}));
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
    const auto facts = [](const CDeviceLibrary& l) {
        return QString("%1 %2 %3 %4 %5").arg(l.StartTimeout()).arg(l.AwakeTimeout()).arg(l.MemloadTimeout())
            .arg(l.VersionText().value_or("none")).arg(l.Version());
    };
    EXPECT_EQ(facts(Loaded("<L/>")), "200 0 200 none 0");
    EXPECT_EQ(facts(Loaded(R"(<L version="1.25b" start_timeout="350ms" awake_timeout="x" memload_timeout="900"/>)")),
              "350 0 900 1.25b 1.25");
}

TEST(DeviceLibrary, LoggerIsFoundByTheElementsOwnLeadingIdWithDefaults)
{
    const CDeviceLibrary library = Loaded(R"(<L>
        <ESC id="5.2"/><ESC id="6"/><ESC name="no id"/>
        <Loggers><Logger id="5" mem_blocks="64"/><Logger id="5.2.9" mem_blocks="8" inidata="64"/></Loggers>
        <Loggers><Logger id="6" mem_blocks="3"/></Loggers></L>)");
    const std::vector<pugi::xml_node> escs(library.Root().children("ESC").begin(), library.Root().children("ESC").end());
    const auto logger = [&library](const pugi::xml_node& esc, int revision, int sub) {
        const LoggerFacts f = library.LoggerOf(esc, revision, sub);
        return QString("%1 %2 %3").arg(f.logger.attribute("id").value()).arg(f.memBlocks).arg(f.initialDataSize);
    };
    EXPECT_EQ(logger(escs[0], 2, 1), "5 64 128");
    EXPECT_EQ(logger(escs[0], 2, 9), "5.2.9 8 64");
    // Only the first Loggers element counts; without a logger both are 0.
    EXPECT_EQ(logger(escs[1], 0, 0), " 0 0");
    EXPECT_EQ(logger(escs[2], 0, 0), " 0 0");
}

TEST(DeviceLibrary, CategoryAndParameterSelectionsFollowXPathComparisonRules)
{
    const CDeviceLibrary library = Loaded(R"(<L><Categories>
        <Category name="A"/><Category name="B" default="0"/>
        <Category name="C" default="1"/><Category name="D" default="yes"/></Categories>
        <ESC><Parameter name="p1" cat="it's" refresh="0" cell="7"/><Parameter name="p2" refresh="1"/>
        <Parameter name="p3" cat="x" panel_tag="volt"/><Parameter name="p4"/></ESC>
        <Curves><Curve/><Curve/></Curves><Other><Curves><Curve/></Curves></Other></L>)");
    EXPECT_EQ(NamesOf(CDeviceLibrary::RegularCategories(library.Categories())), QStringList({"A", "B", "D"}));
    // Any default attribute makes a candidate; the first one is used.
    EXPECT_STREQ(CDeviceLibrary::DefaultCategory(library.Categories()).attribute("name").value(), "B");
    const CDeviceLibrary none = Loaded(R"(<L><Categories><Category name="A"/></Categories></L>)");
    EXPECT_FALSE(CDeviceLibrary::DefaultCategory(none.Categories()));

    const pugi::xml_node esc = library.Root().child("ESC");
    EXPECT_EQ(NamesOf(CDeviceLibrary::ParametersOfCategory(esc, "it's")), QStringList({"p1"}));
    EXPECT_EQ(NamesOf(CDeviceLibrary::ParametersWithoutCategory(esc)), QStringList({"p2", "p4"}));
    // refresh=true() holds for any parameter that has the attribute at all.
    EXPECT_EQ(NamesOf(CDeviceLibrary::RefreshParameters(esc)), QStringList({"p1", "p2"}));
    EXPECT_STREQ(CDeviceLibrary::ParameterOfCell(esc, 7).attribute("name").value(), "p1");
    EXPECT_STREQ(CDeviceLibrary::ParameterOfPanelTag(esc, "volt").attribute("name").value(), "p3");
    EXPECT_EQ(CDeviceLibrary::CurveCount(esc), 0) << "curves beside the ESC element are not its own";
}

TEST(DeviceLibrary, MalformedXmlIsRefusedWithTheParsersMessageAndLineKeepingTheOldDocument)
{
    CDeviceLibrary library;
    ASSERT_TRUE(library.LoadFromBuffer(R"(<L><ESC id="1"/></L>)"));
    EXPECT_FALSE(library.LoadFromBuffer("<L>\n<ESC id=\"2\">\n<Parameter></ESC>\n</L>"));
    EXPECT_FALSE(library.ErrorText().isEmpty());
    EXPECT_EQ(library.ErrorLine(), 3);
    EXPECT_EQ(IdOf(library, 1, 0, 0), "1");
}
