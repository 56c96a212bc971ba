// Discovery, gateway actions and the port-mapping thread against a real gateway:
// miniupnpd with its nftables back-end in a gateway namespace, the code under test in
// the LAN namespace joined to it (tests/support/NetNamespace.h, scripts/upnp-gateway).
// miniupnpd describes version 2 of the gateway types, so these tests also show that a
// version-1 client finds and drives it.

#include "MiniupnpdGateway.h"
#include "UpnpTestSupport.h"
#include "tests/foundation/ThreadTestSupport.h"

#include "foundation/Clock.h"
#include "network/UpnpDevice.h"
#include "network/UpnpPortMapper.h"
#include "network/UpnpRouter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

class Miniupnpd : public ::testing::Test {
protected:
    void SetUp() override
    {
        gateway = std::make_unique<MiniupnpdGateway>();
        ASSERT_TRUE(gateway->started());
        ASSERT_TRUE(lan.enterNamed(gateway->lanNamespace()));
    }
    void TearDown() override
    {
        lan.leave();
        if (HasFailure() && gateway)
            std::cerr << "miniupnpd log:\n" << gateway->log() << "\nruleset:\n" << gateway->ruleset();
        gateway.reset();
    }

    // The one gateway of the LAN, found by the version-1 search.
    UpnpRouter& discoverOne(Routers& routers)
    {
        EXPECT_EQ(UpnpRouter::discover(routers.list, 2), 1);
        if (routers.list.count() != 1)
            throw Exception();
        return *routers.list[0];
    }

    std::unique_ptr<MiniupnpdGateway> gateway;
    NamespaceScope lan;
};

} // namespace

TEST_F(Miniupnpd, SearchFindsTheGatewayAndReadsItsDescription)
{
    Array<UpnpDevice*> devices;
    ssdpSearch(UpnpRouter::GatewaySearchTarget, devices, 2);
    ASSERT_EQ(devices.count(), 1);
    std::unique_ptr<UpnpDevice> root(devices[0]);

    EXPECT_EQ(text(root->location), "http://192.168.77.1:49000/rootDesc.xml");
    EXPECT_EQ(text(root->urlBase), "http://192.168.77.1:49000");
    EXPECT_EQ(text(root->deviceType), "urn:schemas-upnp-org:device:InternetGatewayDevice:2");
    EXPECT_EQ(root->specMajor, 1);
    EXPECT_FALSE(root->UDN.isEmpty());

    ASSERT_EQ(root->devices.count(), 1);
    UpnpDevice* wan = root->devices[0];
    EXPECT_TRUE(upnpTypeMatches(wan->deviceType, UpnpRouter::WanDeviceType));
    EXPECT_EQ(text(wan->urlBase), "http://192.168.77.1:49000");
    UpnpService* config = wan->findService(UpnpRouter::WanCommonInterfaceConfigType);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(text(config->controlURL), "http://192.168.77.1:49000/ctl/CmnIfCfg");

    ASSERT_GE(wan->devices.count(), 1);
    UpnpService* ip = wan->devices[0]->findService(UpnpRouter::WanIpConnectionType);
    ASSERT_NE(ip, nullptr);
    EXPECT_EQ(text(ip->serviceType), "urn:schemas-upnp-org:service:WANIPConnection:2");
    EXPECT_EQ(text(ip->controlURL), MiniupnpdGateway::ControlUrl);
}

TEST_F(Miniupnpd, MappingsAppearInTheNatChainAndGoAfterTheDelete)
{
    Routers routers;
    UpnpRouter& router = discoverOne(routers);
    EXPECT_EQ(text(router.getLocalAddress()), MiniupnpdGateway::LanAddress);
    ASSERT_EQ(router.connectionServices.count(), 1);
    EXPECT_EQ(text(router.getExternalIPAddress()), MiniupnpdGateway::ExternalAddress);

    PortMapping* tcp = router.addPortMapping("Orvane alice", 6001, 6000, UpnpRouter::Tcp);
    ASSERT_NE(tcp, nullptr);
    PortMapping* udp = router.addPortMapping("Orvane alice", 6002, 6000, UpnpRouter::Udp);
    ASSERT_NE(udp, nullptr);
    std::string rules = gateway->natRules();
    EXPECT_NE(rules.find(natRule(6001, "TCP", MiniupnpdGateway::LanAddress, 6000)), std::string::npos) << rules;
    EXPECT_NE(rules.find(natRule(6002, "UDP", MiniupnpdGateway::LanAddress, 6000)), std::string::npos) << rules;

    router.deletePortMapping(tcp);
    rules = gateway->natRules();
    EXPECT_EQ(rules.find(natRule(6001, "TCP", MiniupnpdGateway::LanAddress, 6000)), std::string::npos) << rules;
    EXPECT_NE(rules.find(natRule(6002, "UDP", MiniupnpdGateway::LanAddress, 6000)), std::string::npos) << rules;
    EXPECT_EQ(router.mappings.count(), 2); // the record stays until deleteAllPortMappings

    router.deleteAllPortMappings();
    EXPECT_EQ(router.mappings.count(), 0);
    rules = gateway->natRules();
    EXPECT_EQ(rules.find("dnat"), std::string::npos) << rules;
    EXPECT_EQ(gateway->ruleset().find("dport 600"), std::string::npos);
}

TEST_F(Miniupnpd, PortMapperMapsAdvertisesAndRemovesOnStop)
{
    const char* const OtherHost = "192.168.77.3";
    // Another host on the LAN already holds external TCP port 5000.
    {
        Routers routers;
        UpnpRouter& other = discoverOne(routers);
        ASSERT_EQ(other.connectionServices.count(), 1);
        PortMapping taken;
        taken.externalPort = 5000;
        taken.internalPort = 7000;
        std::snprintf(taken.internalClient, sizeof taken.internalClient, "%s", OtherHost);
        XmlNode out;
        other.connectionServices[0]->invoke("AddPortMapping",
                                            UpnpRouter::portMappingArguments(taken, "other", true), out);
    }
    ASSERT_NE(gateway->natRules().find(natRule(5000, "TCP", OtherHost, 7000)), std::string::npos);

    AdvertisedEndpoint endpoint;
    AdvertisedEndpoint::Value v;
    v.address = MiniupnpdGateway::ExternalAddress;
    v.tcpPort = v.udpPort = 5000;
    endpoint.set(v);
    PortMappingRequest request;
    request.userName = "alice";
    request.reportedAddress = MiniupnpdGateway::ExternalAddress;
    request.bindPort = 4000;

    UpnpPortMapper mapper(endpoint, "Orvane");
    mapper.init();
    mapper.start(); // in the LAN namespace, like the test thread
    mapper.requestMapping(request);
    ASSERT_TRUE(awaitCondition([&] { return mapper.getPassCount() == 1; }, 10000));

    v = endpoint.get();
    EXPECT_TRUE(v.manualSettings);
    EXPECT_EQ(text(v.address), MiniupnpdGateway::ExternalAddress);
    EXPECT_EQ(v.tcpPort, 5001); // 5000 was taken
    EXPECT_EQ(v.udpPort, 5001); // equal ports: UDP starts at TCP + 1
    std::string rules = gateway->natRules();
    EXPECT_NE(rules.find(natRule(5001, "TCP", MiniupnpdGateway::LanAddress, 4000)), std::string::npos) << rules;
    EXPECT_NE(rules.find(natRule(5001, "UDP", MiniupnpdGateway::LanAddress, 4000)), std::string::npos) << rules;

    mapper.stop(true);
    rules = gateway->natRules();
    EXPECT_EQ(rules.find(natRule(5001, "TCP", MiniupnpdGateway::LanAddress, 4000)), std::string::npos) << rules;
    EXPECT_EQ(rules.find(natRule(5001, "UDP", MiniupnpdGateway::LanAddress, 4000)), std::string::npos) << rules;
    // The other program's mapping is not ours to remove.
    EXPECT_NE(rules.find(natRule(5000, "TCP", OtherHost, 7000)), std::string::npos) << rules;
}
