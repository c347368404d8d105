#pragma once

#include <QByteArray>
#include <QString>
#include <pugixml.hpp>

#include <memory>
#include <optional>
#include <vector>

// One entry of the about box's supported devices list.
struct SupportedDevice {
    QString name;
    QString url;   // empty when the entry has none
};

// What the ESC element's caps letters switch on.
struct Capabilities {
    bool speedChange = false;   // S: the device can change its link speed
    bool rangeReads = false;    // R: the cell image is loaded in one range read
    bool melodies = false;      // M: the melody command is offered
};

// The logger facts of a chosen ESC element.
struct LoggerFacts {
    pugi::xml_node logger;       // none when the device has no logger
    unsigned memBlocks = 0;      // logger memory size in blocks; 0: no logger
    unsigned initialDataSize = 0; // leading cells copied with each log
};

// The device library: the parsed *.esc document and the look-ups that the
// rest of the program makes in it. Reading never changes the document.
class CDeviceLibrary {
public:
    CDeviceLibrary();
    ~CDeviceLibrary();
    CDeviceLibrary(const CDeviceLibrary&) = delete;
    CDeviceLibrary& operator=(const CDeviceLibrary&) = delete;
    CDeviceLibrary(CDeviceLibrary&&) = default;
    CDeviceLibrary& operator=(CDeviceLibrary&&) = default;

    // Parses a file or a buffer. A document that is not well-formed is
    // refused: the previous document stays, and ErrorText()/ErrorLine() tell
    // the parser's message and the 1-based line of the fault.
    bool Load(const QString& path);
    bool LoadFromBuffer(const QByteArray& data);
    bool IsLoaded() const;
    QString ErrorText() const { return m_errorText; }
    int ErrorLine() const { return m_errorLine; }   // 0 when the fault has no line

    pugi::xml_document& Document() { return *m_doc; }
    const pugi::xml_document& Document() const { return *m_doc; }
    pugi::xml_node Root() const;

    // Root attributes, with their defaults when absent or not numbers.
    int StartTimeout() const;    // connect timer period, 200 ms
    int AwakeTimeout() const;    // refresh timer period, 0 = none
    int MemloadTimeout() const;  // logger download time-out, 200 ms
    std::optional<QString> VersionText() const;
    double Version() const;      // 0.0 when absent

    // Finds the ESC element for the identity bytes T.R.S, falling back to
    // T.R and then T; the first element in document order wins at each step.
    // deprecated tells that the entry's firmware is outdated.
    bool IdentifyDevice(int t, int r, int s, pugi::xml_node& element, bool& deprecated) const;

    // Logger entry for T.R.S with the same fall-back; none without one.
    pugi::xml_node FindLogger(int t, int r, int s) const;
    // Logger facts of a chosen ESC element: T is the element's own leading
    // integer id, R and S the identity bytes.
    LoggerFacts LoggerOf(const pugi::xml_node& esc, int r, int s) const;

    // The Curve elements below the ESC element: count(.//Curves/Curve).
    static int CurveCount(const pugi::xml_node& esc);
    static Capabilities CapabilitiesOf(const pugi::xml_node& esc);

    // The first Categories child of the root; none when absent.
    pugi::xml_node Categories() const;
    // Category[@default=false() or @default!="1"] in document order.
    static std::vector<pugi::xml_node> RegularCategories(const pugi::xml_node& categories);
    // The first of Category[@default=true()]; none when there is none.
    static pugi::xml_node DefaultCategory(const pugi::xml_node& categories);

    // Parameter queries relative to an ESC element, in document order.
    static std::vector<pugi::xml_node> ParametersOfCategory(const pugi::xml_node& esc, const QString& name);
    static std::vector<pugi::xml_node> ParametersWithoutCategory(const pugi::xml_node& esc);
    static std::vector<pugi::xml_node> RefreshParameters(const pugi::xml_node& esc);
    static std::vector<pugi::xml_node> AllParameters(const pugi::xml_node& esc);
    static pugi::xml_node ParameterOfCell(const pugi::xml_node& esc, int cell);
    static pugi::xml_node ParameterOfPanelTag(const pugi::xml_node& esc, const QString& tag);

    // Value queries relative to a Parameter element.
    static pugi::xml_node ValueOfRaw(const pugi::xml_node& parameter, int raw);   // Value[@val=%d]
    static pugi::xml_node ValueAt(const pugi::xml_node& parameter, int position); // Value[%d], 1-based

    // The about box list: sorted alphabetically, names de-duplicated without
    // regard to letter case (the first one's url is kept), entries marked
    // depriciated and entries without a name left out.
    std::vector<SupportedDevice> SupportedDevices() const;

private:
    bool Parse(const QByteArray& data);

    std::unique_ptr<pugi::xml_document> m_doc;
    QString m_errorText;
    int m_errorLine = 0;
};
