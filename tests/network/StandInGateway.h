#pragma once

// A stand-in UPnP gateway for the faults a real one does not produce: an SSDP responder
// that answers every search with datagrams the test chooses (malformed ones included)
// and a small HTTP server that serves descriptions and answers SOAP actions from a
// simulated port-mapping table. Both run on loopback, in the private namespace of the
// test thread (NamespaceScope::enterPrivate), which routes the SSDP group to loopback.

#include "tests/support/NetNamespace.h"
#include "UpnpTestSupport.h"
#include "tests/support/RawLoopback.h"

#include "foundation/Clock.h"
#include "foundation/Containers.h"
#include "foundation/String.h"
#include "network/UpnpDevice.h"
#include "network/UpnpRouter.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <memory>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

// The text between <name> and </name>, or "" when absent.
inline std::string xmlArgument(const std::string& xml, const std::string& name)
{
    size_t start = xml.find("<" + name + ">");
    if (start == std::string::npos)
        return "";
    start += name.size() + 2;
    size_t end = xml.find("</" + name + ">", start);
    return end == std::string::npos ? "" : xml.substr(start, end - start);
}

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t i = text.find(from); i != std::string::npos; i = text.find(from, i + to.size()))
        text.replace(i, from.size(), to);
    return text;
}

// A description with one WAN device holding one WAN connection device with the given
// services; each service is {type, control path}.
inline std::string gatewayDescription(const std::vector<std::pair<std::string, std::string>>& services,
                                      const std::string& version = "1")
{
    std::string list;
    for (const auto& s : services)
        list += "<service><serviceType>" + s.first + "</serviceType><serviceId>urn:upnp-org:serviceId:x</serviceId>"
                "<SCPDURL>/scpd.xml</SCPDURL><controlURL>" + s.second + "</controlURL>"
                "<eventSubURL>/evt</eventSubURL></service>";
    return "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion><device>"
           "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:" + version + "</deviceType>"
           "<friendlyName>Stand-in</friendlyName><deviceList><device>"
           "<deviceType>urn:schemas-upnp-org:device:WANDevice:" + version + "</deviceType><deviceList><device>"
           "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:" + version + "</deviceType>"
           "<serviceList>" + list + "</serviceList></device></deviceList></device></deviceList>"
           "</device></root>";
}

inline std::string ssdpAnswer(const std::string& st, const std::string& location)
{
    return "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: " + st +
           "\r\nUSN: uuid:standin::" + st + "\r\nEXT:\r\nLOCATION: " + location + "\r\n\r\n";
}

class StandInGateway {
public:
    struct Request {
        std::string method;
        std::string path;
        std::string head; // start line and headers as received
        std::string body;
    };
    struct Reply {
        int status = 200;
        std::string body;
    };

    // One simulated connection service: answers GetExternalIPAddress, AddPortMapping and
    // DeletePortMapping from a mapping table shared by the whole gateway.
    struct Service {
        std::string type;
        std::string externalAddress;
        bool refuseAll = false;              // every action: error 606 (not authorised)
        bool answerWithoutBody = false;      // a 200 whose envelope has no Body
        std::set<std::string> refusedProtocols; // AddPortMapping for these: error 718
    };

    struct Mapping {
        std::string client;
        int internalPort;
        std::string description;
    };

    StandInGateway()
    {
        startHttp();
        startSsdp();
    }
    ~StandInGateway()
    {
        stop_ = true;
        if (httpThread_.joinable())
            httpThread_.join();
        if (ssdpThread_.joinable())
            ssdpThread_.join();
        if (httpSocket_ >= 0)
            ::close(httpSocket_);
        if (ssdpSocket_ >= 0)
            ::close(ssdpSocket_);
    }
    StandInGateway(const StandInGateway&) = delete;
    StandInGateway& operator=(const StandInGateway&) = delete;

    bool ready() const { return httpSocket_ >= 0 && ssdpSocket_ >= 0; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(httpPort_); }

    // The datagrams sent back for every search; "{base}" becomes the HTTP base URL. An
    // empty text is sent as an empty datagram.
    void setAnswers(const std::vector<std::string>& answers)
    {
        std::lock_guard<std::mutex> g(lock_);
        answers_ = answers;
    }
    // A document served at the path ("{base}" replaced).
    void serve(const std::string& path, const std::string& body, int status = 200)
    {
        std::lock_guard<std::mutex> g(lock_);
        documents_[path] = Reply{status, body};
    }
    // A connection service answering at the control path.
    void addService(const std::string& path, const Service& service)
    {
        std::lock_guard<std::mutex> g(lock_);
        services_[path] = service;
    }
    // Occupies an external port as another client would.
    void occupy(int port, const std::string& protocol)
    {
        std::lock_guard<std::mutex> g(lock_);
        mappings_[{port, protocol}] = Mapping{"127.0.0.99", 1, "someone else"};
    }

    std::vector<std::string> searches() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return searches_;
    }
    std::vector<int> searchTtls() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return ttls_;
    }
    std::vector<Request> requests() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return requests_;
    }
    // The SOAP requests with that action in their SOAPAction header.
    std::vector<Request> actions(const std::string& action) const
    {
        std::vector<Request> out;
        for (const Request& r : requests())
            if (r.method == "POST" && r.head.find("#" + action + "\"") != std::string::npos)
                out.push_back(r);
        return out;
    }
    std::map<std::pair<int, std::string>, Mapping> mappings() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return mappings_;
    }

    static Reply soapFault(int code)
    {
        return Reply{500,
                     "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                     "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><s:Fault>"
                     "<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
                     "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
                         std::to_string(code) + "</errorCode><errorDescription>refused</errorDescription>"
                     "</UPnPError></detail></s:Fault></s:Body></s:Envelope>"};
    }
    static Reply soapAnswer(const std::string& action, const std::string& type, const std::string& args)
    {
        return Reply{200, "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                          "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
                              action + "Response xmlns:u=\"" + type + "\">" + args + "</u:" + action +
                              "Response></s:Body></s:Envelope>"};
    }

private:
    void startHttp()
    {
        httpSocket_ = listenOnLoopback(httpPort_);
        if (httpSocket_ < 0) {
            ADD_FAILURE() << "stand-in HTTP server: " << std::strerror(errno);
            return;
        }
        httpThread_ = std::thread([this] { httpLoop(); });
    }

    void startSsdp()
    {
        ssdpSocket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(ssdpSocket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(ssdpSocket_, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(1900);
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        ip_mreq group{};
        group.imr_multiaddr.s_addr = inet_addr("239.255.255.250");
        group.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
        if (ssdpSocket_ < 0 || ::bind(ssdpSocket_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::setsockopt(ssdpSocket_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
            ADD_FAILURE() << "stand-in SSDP responder: " << std::strerror(errno);
            if (ssdpSocket_ >= 0)
                ::close(ssdpSocket_);
            ssdpSocket_ = -1;
            return;
        }
        ssdpThread_ = std::thread([this] { ssdpLoop(); });
    }

    void ssdpLoop()
    {
        std::vector<char> buffer(65536);
        while (!stop_) {
            pollfd p{ssdpSocket_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            sockaddr_in from{};
            iovec iov{buffer.data(), buffer.size()};
            char control[256];
            msghdr msg{};
            msg.msg_name = &from;
            msg.msg_namelen = sizeof from;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            ssize_t n = ::recvmsg(ssdpSocket_, &msg, 0);
            if (n < 0)
                continue;
            int ttl = -1;
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
                    std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            std::vector<std::string> answers;
            {
                std::lock_guard<std::mutex> g(lock_);
                searches_.emplace_back(buffer.data(), static_cast<size_t>(n));
                ttls_.push_back(ttl);
                answers = answers_;
            }
            for (const std::string& a : answers) {
                std::string text = replaceAll(a, "{base}", base());
                ::sendto(ssdpSocket_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&from),
                         sizeof from);
            }
        }
    }

    void httpLoop()
    {
        while (!stop_) {
            pollfd p{httpSocket_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            int c = ::accept4(httpSocket_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            serveConnection(c);
            ::close(c);
        }
    }

    // Reads one request (head and Content-Length body) within two seconds.
    bool readRequest(int c, Request& r)
    {
        std::string data;
        char buffer[4096];
        size_t headEnd = std::string::npos;
        size_t length = 0;
        for (int waits = 0; waits < 100 && !stop_;) {
            if (headEnd != std::string::npos && data.size() >= headEnd + 4 + length)
                break;
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                ++waits;
                continue;
            }
            ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            data.append(buffer, static_cast<size_t>(n));
            if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
                std::string lower = data.substr(0, headEnd);
                for (char& ch : lower)
                    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                size_t cl = lower.find("content-length:");
                if (cl != std::string::npos)
                    length = std::stoul(lower.substr(cl + 15));
            }
        }
        if (headEnd == std::string::npos || data.size() < headEnd + 4 + length)
            return false;
        r.head = data.substr(0, headEnd + 4);
        r.body = data.substr(headEnd + 4, length);
        size_t sp1 = r.head.find(' ');
        size_t sp2 = r.head.find(' ', sp1 + 1);
        r.method = r.head.substr(0, sp1);
        r.path = r.head.substr(sp1 + 1, sp2 - sp1 - 1);
        return true;
    }

    void serveConnection(int c)
    {
        Request r;
        if (!readRequest(c, r))
            return;
        Reply reply = answer(r);
        std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " X\r\nContent-Type: text/xml\r\n"
                           "Connection: close\r\nContent-Length: " + std::to_string(reply.body.size()) +
                           "\r\n\r\n" + reply.body;
        size_t sent = 0;
        while (sent < text.size()) {
            ssize_t n = ::send(c, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
    }

    Reply answer(const Request& r)
    {
        std::lock_guard<std::mutex> g(lock_);
        requests_.push_back(r);
        auto doc = documents_.find(r.path);
        if (r.method == "GET" && doc != documents_.end())
            return Reply{doc->second.status, replaceAll(doc->second.body, "{base}", base())};
        auto svc = services_.find(r.path);
        if (r.method != "POST" || svc == services_.end())
            return Reply{404, "not here"};
        const Service& s = svc->second;
        size_t hash = r.head.find('#');
        size_t quote = r.head.find('"', hash);
        std::string action = hash == std::string::npos ? "" : r.head.substr(hash + 1, quote - hash - 1);
        if (s.refuseAll)
            return soapFault(606);
        if (s.answerWithoutBody)
            return Reply{200, "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"></s:Envelope>"};
        if (action == "GetExternalIPAddress")
            return soapAnswer(action, s.type, "<NewExternalIPAddress>" + s.externalAddress + "</NewExternalIPAddress>");
        int port = std::atoi(xmlArgument(r.body, "NewExternalPort").c_str());
        std::string protocol = xmlArgument(r.body, "NewProtocol");
        auto key = std::make_pair(port, protocol);
        if (action == "AddPortMapping") {
            Mapping m{xmlArgument(r.body, "NewInternalClient"),
                      std::atoi(xmlArgument(r.body, "NewInternalPort").c_str()),
                      xmlArgument(r.body, "NewPortMappingDescription")};
            auto old = mappings_.find(key);
            bool taken = old != mappings_.end() &&
                         (old->second.client != m.client || old->second.internalPort != m.internalPort);
            if (taken || s.refusedProtocols.count(protocol))
                return soapFault(718);
            mappings_[key] = m;
            return soapAnswer(action, s.type, "");
        }
        if (action == "DeletePortMapping") {
            if (!mappings_.erase(key))
                return soapFault(714);
            return soapAnswer(action, s.type, "");
        }
        return soapFault(401);
    }

    std::atomic<bool> stop_{false};
    int httpSocket_ = -1;
    uint16_t httpPort_ = 0;
    int ssdpSocket_ = -1;
    std::thread httpThread_;
    std::thread ssdpThread_;

    mutable std::mutex lock_;
    std::vector<std::string> answers_;
    std::map<std::string, Reply> documents_;
    std::map<std::string, Service> services_;
    std::map<std::pair<int, std::string>, Mapping> mappings_;
    std::vector<std::string> searches_;
    std::vector<int> ttls_;
    std::vector<Request> requests_;
};

// ---- a test fixture around it --------------------------------------------------------

inline const char* const IgdType = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
inline const char* const IpType = "urn:schemas-upnp-org:service:WANIPConnection:1";
inline const char* const PppType = "urn:schemas-upnp-org:service:WANPPPConnection:1";

// The test thread in a private namespace with the stand-in gateway running in it.
class StandInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scope.enterPrivate());
        gateway = std::make_unique<StandInGateway>();
        ASSERT_TRUE(gateway->ready());
    }
    void TearDown() override
    {
        gateway.reset();
        scope.leave();
    }

    // An IGD with one WANIPConnection service at /ctl/ip answering `external`.
    void oneGateway(const std::string& external, const std::string& version = "1")
    {
        gateway->serve("/desc.xml", gatewayDescription({{"urn:schemas-upnp-org:service:WANIPConnection:" + version,
                                                          "/ctl/ip"}},
                                                        version));
        StandInGateway::Service ip;
        ip.type = "urn:schemas-upnp-org:service:WANIPConnection:" + version;
        ip.externalAddress = external;
        gateway->addService("/ctl/ip", ip);
        gateway->setAnswers({ssdpAnswer(IgdType, "{base}/desc.xml")});
    }

    NamespaceScope scope;
    std::unique_ptr<StandInGateway> gateway;
};

} // namespace orvane::testing
