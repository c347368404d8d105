#include "library/CDeviceLibrary.h"

#include "library/CXmlAttributes.h"

#include <QFile>

#include <algorithm>
#include <string>

namespace {

std::vector<pugi::xml_node> Elements(pugi::xpath_node_set set)
{
    set.sort();
    std::vector<pugi::xml_node> nodes;
    nodes.reserve(set.size());
    for (const pugi::xpath_node& n : set) {
        if (n.node())
            nodes.push_back(n.node());
    }
    return nodes;
}

std::vector<pugi::xml_node> SelectAll(const pugi::xml_node& context, const char* expression)
{
    if (!context)
        return {};
    return Elements(context.select_nodes(expression));
}

// Selects with the text bound to $name, so that quotes in the text cannot
// change the expression; the comparison is the same as with a literal.
std::vector<pugi::xml_node> SelectAllNamed(const pugi::xml_node& context, const char* expression,
                                           const QString& name)
{
    if (!context)
        return {};
    pugi::xpath_variable_set variables;
    const QByteArray text = name.toUtf8();
    variables.set("name", text.constData());
    const pugi::xpath_query query(expression, &variables);
    return Elements(query.evaluate_node_set(context));
}

pugi::xml_node SelectFirst(const pugi::xml_node& context, const std::string& expression)
{
    if (!context)
        return {};
    return context.select_node(expression.c_str()).node();
}

// The T.R.S -> T.R -> T fall-back of device and logger identities.
pugi::xml_node SelectById(const pugi::xml_node& context, const char* element, int t, int r, int s)
{
    const std::string name(element);
    const std::string ids[] = {
        std::to_string(t) + '.' + std::to_string(r) + '.' + std::to_string(s),
        std::to_string(t) + '.' + std::to_string(r),
        std::to_string(t),
    };
    for (const std::string& id : ids) {
        const pugi::xml_node found = SelectFirst(context, name + "[@id=\"" + id + "\"]");
        if (found)
            return found;
    }
    return {};
}

int LineOfOffset(const QByteArray& data, ptrdiff_t offset)
{
    const qsizetype end = std::clamp<qsizetype>(static_cast<qsizetype>(offset), 0, data.size());
    int line = 1;
    for (qsizetype i = 0; i < end; ++i) {
        if (data.at(i) == '\n')
            ++line;
    }
    return line;
}

} // namespace

CDeviceLibrary::CDeviceLibrary()
    : m_doc(std::make_unique<pugi::xml_document>())
{
}

CDeviceLibrary::~CDeviceLibrary() = default;

bool CDeviceLibrary::Load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorText = file.errorString();
        m_errorLine = 0;
        return false;
    }
    return Parse(file.readAll());
}

bool CDeviceLibrary::LoadFromBuffer(const QByteArray& data)
{
    return Parse(data);
}

bool CDeviceLibrary::Parse(const QByteArray& data)
{
    auto doc = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result result = doc->load_buffer(data.constData(), static_cast<size_t>(data.size()));
    if (!result) {
        m_errorText = QString::fromUtf8(result.description());
        m_errorLine = LineOfOffset(data, result.offset);
        return false;
    }
    m_doc = std::move(doc);
    m_errorText.clear();
    m_errorLine = 0;
    return true;
}

bool CDeviceLibrary::IsLoaded() const
{
    return static_cast<bool>(Root());
}

pugi::xml_node CDeviceLibrary::Root() const
{
    return m_doc->document_element();
}

int CDeviceLibrary::StartTimeout() const
{
    return CXmlAttributes::Int(Root(), "start_timeout", 200);
}

int CDeviceLibrary::AwakeTimeout() const
{
    return CXmlAttributes::Int(Root(), "awake_timeout", 0);
}

int CDeviceLibrary::MemloadTimeout() const
{
    return CXmlAttributes::Int(Root(), "memload_timeout", 200);
}

std::optional<QString> CDeviceLibrary::VersionText() const
{
    return CXmlAttributes::Text(Root(), "version");
}

double CDeviceLibrary::Version() const
{
    return CXmlAttributes::Real(Root(), "version", 0.0);
}

bool CDeviceLibrary::IdentifyDevice(int t, int r, int s, pugi::xml_node& element, bool& deprecated) const
{
    element = SelectById(Root(), "ESC", t, r, s);
    deprecated = element && CXmlAttributes::Int(element, "depreciated", 0) != 0;
    return static_cast<bool>(element);
}

pugi::xml_node CDeviceLibrary::FindLogger(int t, int r, int s) const
{
    const pugi::xml_node loggers = Root().child("Loggers");
    if (!loggers)
        return {};
    return SelectById(loggers, "Logger", t, r, s);
}

LoggerFacts CDeviceLibrary::LoggerOf(const pugi::xml_node& esc, int r, int s) const
{
    LoggerFacts facts;
    const std::optional<int> t = CXmlAttributes::Int(esc, "id");
    if (!t)
        return facts;
    facts.logger = FindLogger(*t, r, s);
    if (!facts.logger)
        return facts;
    // Negative counts would turn into huge unsigned sizes downstream, and
    // the initial data is taken from the 256 cells of the device.
    facts.memBlocks = static_cast<unsigned>(std::max(0, CXmlAttributes::Int(facts.logger, "mem_blocks", 0)));
    facts.initialDataSize = static_cast<unsigned>(std::clamp(CXmlAttributes::Int(facts.logger, "inidata", 128), 0, 256));
    return facts;
}

int CDeviceLibrary::CurveCount(const pugi::xml_node& esc)
{
    if (!esc)
        return 0;
    static const pugi::xpath_query query("count(.//Curves/Curve)");
    return static_cast<int>(query.evaluate_number(esc));
}

Capabilities CDeviceLibrary::CapabilitiesOf(const pugi::xml_node& esc)
{
    const std::string caps = esc.attribute("caps").value();
    Capabilities result;
    result.speedChange = caps.find('S') != std::string::npos;
    result.rangeReads = caps.find('R') != std::string::npos;
    result.melodies = caps.find('M') != std::string::npos;
    return result;
}

pugi::xml_node CDeviceLibrary::Categories() const
{
    return Root().child("Categories");
}

std::vector<pugi::xml_node> CDeviceLibrary::RegularCategories(const pugi::xml_node& categories)
{
    return SelectAll(categories, "Category[@default=false() or @default!=\"1\"]");
}

pugi::xml_node CDeviceLibrary::DefaultCategory(const pugi::xml_node& categories)
{
    return SelectFirst(categories, "Category[@default=true()]");
}

std::vector<pugi::xml_node> CDeviceLibrary::ParametersOfCategory(const pugi::xml_node& esc, const QString& name)
{
    return SelectAllNamed(esc, "Parameter[@cat=$name]", name);
}

std::vector<pugi::xml_node> CDeviceLibrary::ParametersWithoutCategory(const pugi::xml_node& esc)
{
    return SelectAll(esc, "Parameter[@cat=false()]");
}

std::vector<pugi::xml_node> CDeviceLibrary::RefreshParameters(const pugi::xml_node& esc)
{
    return SelectAll(esc, "Parameter[@refresh=true() or @refresh=\"1\"]");
}

std::vector<pugi::xml_node> CDeviceLibrary::AllParameters(const pugi::xml_node& esc)
{
    std::vector<pugi::xml_node> nodes;
    for (const pugi::xml_node& p : esc.children("Parameter"))
        nodes.push_back(p);
    return nodes;
}

pugi::xml_node CDeviceLibrary::ParameterOfCell(const pugi::xml_node& esc, int cell)
{
    return SelectFirst(esc, "Parameter[@cell=\"" + std::to_string(cell) + "\"]");
}

pugi::xml_node CDeviceLibrary::ParameterOfPanelTag(const pugi::xml_node& esc, const QString& tag)
{
    const std::vector<pugi::xml_node> found = SelectAllNamed(esc, "Parameter[@panel_tag=$name]", tag);
    return found.empty() ? pugi::xml_node() : found.front();
}

pugi::xml_node CDeviceLibrary::ValueOfRaw(const pugi::xml_node& parameter, int raw)
{
    return SelectFirst(parameter, "Value[@val=" + std::to_string(raw) + "]");
}

pugi::xml_node CDeviceLibrary::ValueAt(const pugi::xml_node& parameter, int position)
{
    return SelectFirst(parameter, "Value[" + std::to_string(position) + "]");
}

std::vector<SupportedDevice> CDeviceLibrary::SupportedDevices() const
{
    std::vector<SupportedDevice> devices;
    for (const pugi::xml_node& esc : SelectAll(Root(), "ESC")) {
        if (CXmlAttributes::Int(esc, "depriciated", 0) != 0)
            continue;
        const std::optional<QString> name = CXmlAttributes::Text(esc, "name");
        if (!name)
            continue;
        const bool known = std::any_of(devices.begin(), devices.end(), [&](const SupportedDevice& d) {
            return d.name.compare(*name, Qt::CaseInsensitive) == 0;
        });
        if (known)
            continue;
        devices.push_back({*name, CXmlAttributes::Text(esc, "url", QString())});
    }
    std::stable_sort(devices.begin(), devices.end(), [](const SupportedDevice& a, const SupportedDevice& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return devices;
}
