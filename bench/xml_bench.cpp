// XmlNode's parser and writers against pugixml on the sizes the program meets: a one-line
// message, a device description and a large generated document; the parser again at
// growing sizes, to show that its time grows linearly with the text.
#include "foundation/XmlNode.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <malloc.h>
#include <string>

using namespace orvane;

namespace {

// About 200 bytes, as messages travel between client and server.
const char kMessage[] =
    "<msg id=\"48213\" type=\"chat\" from=\"alice\" to=\"bob\" time=\"1700000000\">"
    "<body>Are we still on for 10:00? Bring the notes &amp; the &lt;draft&gt;.</body>"
    "<opts receipt=\"yes\" urgent=\"no\"/></msg>";

// About 10 KB, shaped like a gateway's device description.
std::string makeDeviceDescription()
{
    std::string s = "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
                    "<specVersion><major>1</major><minor>0</minor></specVersion>\r\n"
                    "<URLBase>http://192.168.1.1:5000</URLBase>\r\n";
    auto device = [&](const std::string& type, int n) {
        s += "<device>\r\n<deviceType>urn:schemas-upnp-org:device:" + type + ":1</deviceType>\r\n"
             "<friendlyName>Gateway " + type + "</friendlyName>\r\n"
             "<manufacturer>Example Networks</manufacturer>\r\n"
             "<manufacturerURL>http://www.example.com/</manufacturerURL>\r\n"
             "<modelDescription>Broadband router &amp; access point</modelDescription>\r\n"
             "<modelName>EX-" + std::to_string(n) + "</modelName><modelNumber>" + std::to_string(n) +
             "</modelNumber>\r\n<serialNumber>0000" + std::to_string(n) + "</serialNumber>\r\n"
             "<UDN>uuid:8a2b6f10-0000-4000-8000-00000000000" + std::to_string(n) + "</UDN>\r\n"
             "<iconList><icon><mimetype>image/png</mimetype><width>48</width><height>48</height>"
             "<depth>24</depth><url>/icon" + std::to_string(n) + ".png</url></icon></iconList>\r\n"
             "<serviceList>\r\n";
        for (int k = 0; k < 3; ++k) {
            std::string id = type + std::to_string(k);
            s += "<service>\r\n<serviceType>urn:schemas-upnp-org:service:" + id + ":1</serviceType>\r\n"
                 "<serviceId>urn:upnp-org:serviceId:" + id + "</serviceId>\r\n"
                 "<SCPDURL>/" + id + ".xml</SCPDURL>\r\n<controlURL>/ctl/" + id + "</controlURL>\r\n"
                 "<eventSubURL>/evt/" + id + "</eventSubURL>\r\n</service>\r\n";
        }
        s += "</serviceList>\r\n";
    };
    const char* types[] = {"InternetGatewayDevice", "WANDevice", "WANConnectionDevice", "LANDevice",
                           "WLANAccessPointDevice", "MediaServer", "PrinterBasic"};
    int n = 0;
    for (const char* type : types) {
        device(type, n++);
        if (s.size() > 9000)
            break;
    }
    s += "<deviceList/>\r\n";
    for (int i = 0; i < n; ++i)
        s += "</device>\r\n";
    s += "<presentationURL>http://192.168.1.1/</presentationURL>\r\n</root>\r\n";
    return s;
}

// A roster of about `target` bytes: one wide root, attributes, escaped text, comments.
std::string makeRoster(size_t target)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<!-- generated roster -->\r\n"
                    "<roster owner=\"alice\" version=\"3\">\r\n";
    for (int i = 0; s.size() + 200 < target; ++i) {
        std::string id = std::to_string(100000 + i);
        s += "\t<contact id=\"" + id + "\" name=\"User " + id + "\" status=\"" +
             (i % 3 ? "online" : "away") + "\">\r\n"
             "\t\t<group>Friends &amp; Family</group>\r\n"
             "\t\t<note>Met at the &lt;conference&gt; in " + std::to_string(2000 + i % 20) + "</note>\r\n";
        if (i % 10 == 0)
            s += "\t\t<!-- flagged by the server -->\r\n\t\t<flag/>\r\n";
        s += "\t</contact>\r\n";
    }
    s += "</roster>\r\n";
    return s;
}

const std::string& document(int which)
{
    static const std::string message = kMessage;
    static const std::string device = makeDeviceDescription();
    static const std::string large = makeRoster(1 << 20);
    return which == 0 ? message : which == 1 ? device : large;
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void setLabel(benchmark::State& state, const std::string& text)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_Parse_Orvane(benchmark::State& state)
{
    const std::string& text = document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        XmlNode node;
        bool ok = node.parse(text.c_str());
        benchmark::DoNotOptimize(ok);
    }
    setLabel(state, text);
}

void BM_Parse_Pugixml(benchmark::State& state)
{
    const std::string& text = document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
        benchmark::DoNotOptimize(r.status);
    }
    setLabel(state, text);
}

void BM_WriteCompact_Orvane(benchmark::State& state)
{
    XmlNode node;
    node.parse(document(static_cast<int>(state.range(0))).c_str());
    String out;
    for (auto _ : state) {
        out = node.toCompactString(true);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * out.length());
    state.counters["bytes"] = out.length();
}

void BM_WriteCompact_Pugixml(benchmark::State& state)
{
    const std::string& text = document(static_cast<int>(state.range(0)));
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    size_t size = 0;
    for (auto _ : state) {
        StringWriter w;
        doc.save(w, "", pugi::format_raw | pugi::format_no_declaration);
        size = w.out.size();
        benchmark::DoNotOptimize(w.out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_WriteIndented_Orvane(benchmark::State& state)
{
    XmlNode node;
    node.parse(document(static_cast<int>(state.range(0))).c_str());
    String out;
    for (auto _ : state) {
        out = node.toString(0, true);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * out.length());
    state.counters["bytes"] = out.length();
}

void BM_WriteIndented_Pugixml(benchmark::State& state)
{
    const std::string& text = document(static_cast<int>(state.range(0)));
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    size_t size = 0;
    for (auto _ : state) {
        StringWriter w;
        doc.save(w, "\t", pugi::format_indent | pugi::format_no_declaration);
        size = w.out.size();
        benchmark::DoNotOptimize(w.out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["bytes"] = static_cast<double>(size);
}

// 0: 200-byte message, 1: 10 KB device description, 2: 1 MB roster.
#define XML_DOCUMENTS ArgName("doc")->Arg(0)->Arg(1)->Arg(2)

BENCHMARK(BM_Parse_Orvane)->XML_DOCUMENTS;
BENCHMARK(BM_Parse_Pugixml)->XML_DOCUMENTS;
BENCHMARK(BM_WriteCompact_Orvane)->XML_DOCUMENTS;
BENCHMARK(BM_WriteCompact_Pugixml)->XML_DOCUMENTS;
BENCHMARK(BM_WriteIndented_Orvane)->XML_DOCUMENTS;
BENCHMARK(BM_WriteIndented_Pugixml)->XML_DOCUMENTS;

const std::string& rosterOfSize(int64_t size)
{
    static std::string cached;
    static int64_t cachedSize = -1;
    if (cachedSize != size) {
        cached = makeRoster(static_cast<size_t>(size));
        cachedSize = size;
    }
    return cached;
}

void BM_ParseScaling_Orvane(benchmark::State& state)
{
    const std::string& text = rosterOfSize(state.range(0));
    for (auto _ : state) {
        XmlNode node;
        bool ok = node.parse(text.c_str());
        benchmark::DoNotOptimize(ok);
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_ParseScaling_Pugixml(benchmark::State& state)
{
    const std::string& text = rosterOfSize(state.range(0));
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
        benchmark::DoNotOptimize(r.status);
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

#define XML_SCALING Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Complexity(benchmark::oN)

BENCHMARK(BM_ParseScaling_Orvane)->XML_SCALING;
BENCHMARK(BM_ParseScaling_Pugixml)->XML_SCALING;

} // namespace

// The allocator would otherwise hand the memory of every large tree back to the system
// when it is destroyed and fault it in again page by page for the next one; at 4 MB that
// costs both parsers a third of their time and hides how the parsing itself scales.
int main(int argc, char** argv)
{
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
