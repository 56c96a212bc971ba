#pragma once

#include "foundation/Exception.h"
#include "foundation/String.h"
#include "foundation/XmlNode.h"

#include <cstdint>

namespace orvane {

// Calls one action of a UPnP service: SOAP 1.1 over an HTTP POST to the control URL.
// The answer's out-arguments come back as children of a node; a gateway that rejects
// the action answers with an HTTP error status, which the HTTP client reports as
// HttpClient::BadResponseException.
class SoapClient {
public:
    // The answer has no Body, or the Body holds no element.
    ORVANE_EXCEPTION(ParsingException, Exception);

    // The control URL.
    String url;
    // Sent as the SOAPAction header when set; otherwise the header is built from the
    // namespace and the action name.
    String soapAction;
    // The service type: the namespace of the action element.
    String actionNamespace;
    // Whole seconds one call may take (the HTTP client's limit).
    int32_t timeoutSeconds = 60;

    SoapClient() = default;
    SoapClient(const SoapClient&) = default;
    SoapClient& operator=(const SoapClient&) = default;
    virtual ~SoapClient();

    // Posts the action with the children of `in` as its arguments. `out` is emptied, then
    // receives a copy of every out-argument of the answer. Answers a copy of the element
    // named after the action followed by "Result" (an empty node when there is none).
    XmlNode call(const char* action, const XmlNode& in, XmlNode& out);

    // The request body: the envelope on one line, without an XML declaration.
    String buildEnvelope(const char* action, const XmlNode& in) const;
    // The value of the SOAPAction header, double quotes included.
    String soapActionHeader(const char* action) const;
    // Reads an answer's envelope: see call. ParsingException when there is no Body or
    // it holds no element.
    static XmlNode parseResponse(const char* action, const XmlNode& envelope, XmlNode& out);
};

} // namespace orvane
