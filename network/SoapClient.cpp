#include "network/SoapClient.h"

#include "network/HttpClient.h"
#include "network/NetworkTrace.h"

namespace orvane {

SoapClient::ParsingException::~ParsingException() = default;

namespace {

// The part of an element name before the first ':', or the whole name.
String prefixOf(const String& name)
{
    int colon = name.find(':');
    return colon >= 0 ? name.substring(0, colon) : name;
}

// The part after the first ':', or the whole name.
String localNameOf(const String& name)
{
    int colon = name.find(':');
    return colon >= 0 ? name.substring(colon + 1) : name;
}

void empty(XmlNode& node)
{
    node = XmlNode();
    node.name.clear();
}

} // namespace

SoapClient::~SoapClient() = default;

String SoapClient::buildEnvelope(const char* action, const XmlNode& in) const
{
    String envelope("<s:Envelope"
                    " xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
                    " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
                    "<s:Body><m:");
    envelope += action;
    envelope += " xmlns:m=\"";
    // The namespace is the service type the gateway described; escaping leaves a real
    // type unchanged and keeps a hostile one inside its attribute.
    envelope += xmlEscape(actionNamespace);
    envelope += "\">";
    for (const XmlNode* argument : in.children)
        envelope += argument->toCompactString(false);
    envelope += "</m:";
    envelope += action;
    envelope += "></s:Body></s:Envelope>";
    return envelope;
}

String SoapClient::soapActionHeader(const char* action) const
{
    String value("\"");
    if (!soapAction.isEmpty()) {
        value += soapAction;
    } else {
        value += actionNamespace;
        if (!actionNamespace.endsWith("/"))
            value += "/";
        value += action;
    }
    value += "\"";
    return value;
}

XmlNode SoapClient::parseResponse(const char* action, const XmlNode& envelope, XmlNode& out)
{
    const XmlNode* body = nullptr;
    for (const XmlNode* child : envelope.children) {
        if (localNameOf(child->name) == "Body") {
            body = child;
            break;
        }
    }
    if (!body)
        throw ParsingException();
    // The parser turns attributes into children: namespace declarations on the Body
    // are not the response element.
    const XmlNode* response = nullptr;
    for (const XmlNode* child : body->children) {
        if (prefixOf(child->name) != "xmlns") {
            response = child;
            break;
        }
    }
    if (!response)
        throw ParsingException();

    const String resultName = String(action) + "Result";
    XmlNode result;
    for (const XmlNode* child : response->children) {
        String prefix = prefixOf(child->name);
        if (prefix == "xmlns")
            continue;
        if (prefix == resultName)
            result = *child;
        else
            *out.addChild(nullptr) = *child;
    }
    return result;
}

XmlNode SoapClient::call(const char* action, const XmlNode& in, XmlNode& out)
{
    empty(out);
    const String envelope = buildEnvelope(action, in);
    networkTraceData("C:\\_counter__request_.xml", envelope);

    HttpClient http;
    http.timeoutSeconds = timeoutSeconds;
    http.setHeader("Content-Type", "text/xml; charset=\"utf-8\"");
    http.setHeader("SOAPAction", soapActionHeader(action));

    ByteArray request;
    request.write(0, envelope.c_str(), envelope.length());
    ByteArray answer;
    http.post(url, &request, &answer);
    const String text(reinterpret_cast<const char*>(answer.data()), answer.count());
    networkTraceData("C:\\_counter__response_.xml", text);

    XmlNode root;
    if (!root.parse(text))
        throw ParsingException();
    return parseResponse(action, root, out);
}

} // namespace orvane
