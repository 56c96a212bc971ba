// The port-mapping thread against the stand-in gateway in a private network namespace:
// the mapping pass rules, refusals, and a thread that outlives a failed pass. Also part
// of the ThreadSanitizer build.

#include "StandInGateway.h"
#include "tests/foundation/ThreadTestSupport.h"

#include "foundation/Clock.h"
#include "foundation/Thread.h"
#include "network/UpnpPortMapper.h"
#include "network/UpnpRouter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

class Mapper : public StandInTest {
protected:
    void SetUp() override
    {
        StandInTest::SetUp();
        AdvertisedEndpoint::Value v;
        v.address = "203.0.113.5";
        v.tcpPort = 5000;
        v.udpPort = 5000;
        endpoint.set(v);
        request.userName = "alice";
        request.reportedAddress = "203.0.113.5";
        request.bindPort = 4000;
    }
    void TearDown() override
    {
        if (mapper)
            mapper->stop(true);
        mapper.reset();
        StandInTest::TearDown();
    }
    void startMapper()
    {
        mapper = std::make_unique<UpnpPortMapper>(endpoint, "Orvane");
        mapper->init();
        mapper->start();
    }
    // Requests a pass and waits until it is over.
    void runPass()
    {
        const int before = mapper->getPassCount();
        mapper->requestMapping(request);
        ASSERT_TRUE(awaitCondition([&] { return mapper->getPassCount() > before; }, 10000));
    }

    AdvertisedEndpoint endpoint;
    PortMappingRequest request;
    std::unique_ptr<UpnpPortMapper> mapper;
};

} // namespace

TEST_F(Mapper, MapsOnTheGatewayWhoseAddressTheServerSawAndRemovesOnStop)
{
    // Two gateways; only the second one's external address is the reported one.
    gateway->serve("/g1.xml", gatewayDescription({{IpType, "/ctl/g1"}}));
    gateway->serve("/g2.xml", gatewayDescription({{IpType, "/ctl/g2"}}));
    StandInGateway::Service g1, g2;
    g1.type = g2.type = IpType;
    g1.externalAddress = "198.51.100.1";
    g2.externalAddress = "203.0.113.5";
    gateway->addService("/ctl/g1", g1);
    gateway->addService("/ctl/g2", g2);
    gateway->setAnswers({ssdpAnswer(IgdType, "{base}/g1.xml"), ssdpAnswer(IgdType, "{base}/g2.xml")});

    startMapper();
    runPass();

    // TCP and UDP both at 5000: UDP asks for 5001 first.
    AdvertisedEndpoint::Value v = endpoint.get();
    EXPECT_EQ(text(v.address), "203.0.113.5");
    EXPECT_EQ(v.tcpPort, 5000);
    EXPECT_EQ(v.udpPort, 5001);
    EXPECT_TRUE(v.manualSettings);
    EXPECT_TRUE(mapper->hasRouter());

    for (const StandInGateway::Request& r : gateway->actions("AddPortMapping"))
        EXPECT_EQ(r.path, "/ctl/g2");
    auto mappings = gateway->mappings();
    ASSERT_EQ(mappings.size(), 2u);
    ASSERT_TRUE(mappings.count({5000, "TCP"}));
    ASSERT_TRUE(mappings.count({5001, "UDP"}));
    EXPECT_EQ(mappings[std::make_pair(5000, std::string("TCP"))].internalPort, 4000);
    EXPECT_EQ(mappings[std::make_pair(5001, std::string("UDP"))].internalPort, 4000);
    EXPECT_EQ(mappings[std::make_pair(5000, std::string("TCP"))].description, "Orvane alice (127.0.0.1:4000) 5000 TCP");

    // A second pass maps again (the advertised ports are now 5000/5001) and leaves the
    // first pass's mappings where they are.
    const size_t addsBefore = gateway->actions("AddPortMapping").size();
    runPass();
    EXPECT_EQ(gateway->actions("AddPortMapping").size(), addsBefore + 2);
    EXPECT_TRUE(gateway->actions("DeletePortMapping").empty());
    EXPECT_EQ(gateway->mappings().size(), 2u);

    // The end of the thread removes the kept gateway's mappings.
    mapper->stop(true);
    EXPECT_TRUE(gateway->mappings().empty());
    EXPECT_EQ(gateway->actions("DeletePortMapping").size(), 2u);
}

TEST_F(Mapper, TakenPortsAreSkippedUpToFourPlaces)
{
    oneGateway("203.0.113.5");
    gateway->occupy(5000, "TCP");
    gateway->occupy(5001, "TCP");
    gateway->occupy(5001, "UDP");
    startMapper();
    runPass();
    AdvertisedEndpoint::Value v = endpoint.get();
    EXPECT_EQ(v.tcpPort, 5002);
    EXPECT_EQ(v.udpPort, 5002);
    EXPECT_TRUE(gateway->mappings().count({5002, "TCP"}));
    EXPECT_TRUE(gateway->mappings().count({5002, "UDP"}));

    // Five taken ports in a row: no mapping for UDP, so TCP is given back and nothing is
    // advertised.
    mapper->stop(true);
    for (int p = 5002; p <= 5006; ++p)
        gateway->occupy(p, "UDP");
    AdvertisedEndpoint::Value start;
    start.address = "203.0.113.5";
    start.tcpPort = start.udpPort = 5000;
    endpoint.set(start);
    const size_t deletesBefore = gateway->actions("DeletePortMapping").size();
    startMapper();
    runPass();
    std::vector<StandInGateway::Request> udpAdds;
    for (const StandInGateway::Request& r : gateway->actions("AddPortMapping"))
        if (xmlArgument(r.body, "NewProtocol") == "UDP")
            udpAdds.push_back(r);
    ASSERT_GE(udpAdds.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(xmlArgument(udpAdds[udpAdds.size() - 5 + i].body, "NewExternalPort"), std::to_string(5001 + i));
    EXPECT_GT(gateway->actions("DeletePortMapping").size(), deletesBefore);
    EXPECT_FALSE(gateway->mappings().count({5002, "TCP"}));
    v = endpoint.get();
    EXPECT_EQ(v.tcpPort, 5000);
    EXPECT_EQ(v.udpPort, 5000);
    EXPECT_FALSE(v.manualSettings);
    EXPECT_FALSE(mapper->hasRouter());
}

TEST_F(Mapper, UdpFailureGivesTheTcpMappingBack)
{
    oneGateway("203.0.113.5");
    StandInGateway::Service ip;
    ip.type = IpType;
    ip.externalAddress = "203.0.113.5";
    ip.refusedProtocols = {"UDP"};
    gateway->addService("/ctl/ip", ip);
    startMapper();
    runPass();
    EXPECT_TRUE(gateway->mappings().empty());
    std::vector<StandInGateway::Request> deletes = gateway->actions("DeletePortMapping");
    ASSERT_FALSE(deletes.empty());
    EXPECT_EQ(xmlArgument(deletes[0].body, "NewProtocol"), "TCP");
    EXPECT_EQ(xmlArgument(deletes[0].body, "NewExternalPort"), "5000");
    EXPECT_FALSE(endpoint.get().manualSettings);
    EXPECT_FALSE(mapper->hasRouter());
}

TEST_F(Mapper, GatewayWithAnotherAddressIsNotUsed)
{
    oneGateway("198.51.100.1");
    startMapper();
    runPass();
    EXPECT_TRUE(gateway->actions("AddPortMapping").empty());
    EXPECT_FALSE(endpoint.get().manualSettings);
    EXPECT_EQ(text(endpoint.get().address), "203.0.113.5");
}

TEST_F(Mapper, FailedPassDoesNotEndTheThread)
{
    oneGateway("203.0.113.5");
    // Without a route for the SSDP group the search cannot even send.
    CommandResult r = runCommand({"ip", "route", "del", "239.255.255.250/32", "dev", "lo"});
    ASSERT_EQ(r.status, 0) << r.output;
    startMapper();
    runPass();
    EXPECT_TRUE(gateway->searches().empty());
    EXPECT_EQ(mapper->mappingState(), UpnpPortMapper::Idle);
    EXPECT_NE(mapper->getState(), Thread::Finished);

    r = runCommand({"ip", "route", "add", "239.255.255.250/32", "dev", "lo"});
    ASSERT_EQ(r.status, 0) << r.output;
    runPass();
    EXPECT_FALSE(gateway->searches().empty());
    EXPECT_TRUE(endpoint.get().manualSettings);
    EXPECT_EQ(gateway->mappings().size(), 2u);
}

TEST_F(Mapper, IdleThreadStopsPromptly)
{
    startMapper();
    // Idling: its 300 ms polls have begun.
    ASSERT_TRUE(awaitCondition([&] { return mapper->getState() == Thread::Running; }, 10000));
    const int64_t start = monotonicMillis();
    mapper->stop(true);
    // A stop that waited for a pass (an SSDP search window of seconds) would take far longer.
    EXPECT_LT(monotonicMillis() - start, 1500);
    EXPECT_EQ(mapper->getState(), Thread::Finished);
    EXPECT_EQ(mapper->getPassCount(), 0);
}

TEST_F(Mapper, RequestDuringAPassIsServedAfterIt)
{
    oneGateway("203.0.113.5");
    startMapper();
    mapper->requestMapping(request);
    // The pass is searching: the request cleared at its start, this one is new.
    ASSERT_TRUE(awaitCondition([&] { return !gateway->searches().empty(); }, 3000));
    mapper->requestMapping(request);
    ASSERT_TRUE(awaitCondition([&] { return mapper->getPassCount() == 2; }, 10000));
    EXPECT_EQ(gateway->actions("AddPortMapping").size(), 4u);
    EXPECT_EQ(mapper->mappingState(), UpnpPortMapper::Idle);
}
