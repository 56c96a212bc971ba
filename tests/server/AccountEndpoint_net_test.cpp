// The account endpoint on a real loopback socket: requests written byte for byte as a
// client sends them, and the exact bytes that come back, refusals included.

#include "NetClient.h"

#include "network/FormFields.h"
#include "network/HttpClient.h"
#include "server/OrvaneServer.h"

#include <cstring>

#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

class AccountEndpointTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.httpAddress = endpoint("127.0.0.1", 0);
        settings.messageAddress = endpoint("127.0.0.1", 0);
        settings.passwordHashCost = 1;
        settings.httpRequestTimeoutMs = 400;
        server.reset(new OrvaneServer(settings));
        server->start();
    }
    void TearDown() override { server.reset(); }

    uint16_t httpPort() const { return server->httpAddress().getPort(); }

    std::string exchange(const std::string& request)
    {
        RawClient client(httpPort());
        EXPECT_TRUE(client.send(request));
        Bytes reply;
        EXPECT_TRUE(client.readUntilClosed(reply)) << "the server keeps the connection open";
        return std::string(reply.begin(), reply.end());
    }

    LogCapture log;
    ServerSettings settings;
    std::unique_ptr<OrvaneServer> server;
};

TEST_F(AccountEndpointTest, SignUpAndSignInForms)
{
    EXPECT_EQ(exchange("POST /orvane HTTP/1.0\r\n"
                       "host: 127.0.0.1\r\n"
                       "content-type: application/x-www-form-urlencoded\r\n"
                       "Content-Length: 131\r\n"
                       "Connection: Keep-Alive\r\n"
                       "\r\n"
                       "CMD=CREATE_USER&User_Name=alice&Email=alice%40example.org&First_Name=Alice&Last_Name=Liddell"
                       "&Password=secret1&Web_Site=&Network_ID="),
              "HTTP/1.0 200 OK\r\n"
              "Content-Type: text/xml\r\n"
              "Content-Length: 96\r\n"
              "Connection: close\r\n"
              "\r\n"
              "<?xml version=\"1.0\"?>\r\n<response>\r\n\t<status>SUCCESS</status>\r\n\t<userID>1</userID>\r\n"
              "</response>\r\n");

    const std::string lines = "LOGIN SUCCESS\n127.0.0.1:" + std::to_string(server->messageAddress().getPort()) +
                              "\nalice\n0\n\n\n1";
    EXPECT_EQ(exchange("POST / HTTP/1.0\r\n"
                       "content-type: application/x-www-form-urlencoded\r\n"
                       "Content-Length: 49\r\n"
                       "\r\n"
                       "CMD=LOGIN&user=alice&password=secret1&network_id="),
              "HTTP/1.0 200 OK\r\n"
              "Content-Type: text/plain\r\n"
              "Content-Length: " + std::to_string(lines.size()) + "\r\n"
              "Connection: close\r\n"
              "\r\n" + lines);
}

TEST_F(AccountEndpointTest, ABodyArrivingInPiecesIsReadWhole)
{
    RawClient client(httpPort());
    ASSERT_TRUE(client.send("POST / HTTP/1.0\r\nContent-Length: 47\r\n"));
    ASSERT_TRUE(client.send("\r\nCMD=LOGIN&user=alice"));
    ASSERT_TRUE(client.send("&password=wrong&network_id="));
    Bytes reply;
    ASSERT_TRUE(client.readUntilClosed(reply));
    const std::string text(reply.begin(), reply.end());
    EXPECT_EQ(text.substr(0, 17), "HTTP/1.0 200 OK\r\n");
    EXPECT_NE(text.find("\r\n\r\n<?xml version=\"1.0\"?>\r\n<response>\r\n\t<status>FAILED</status>\r\n"
                        "\t<reason>Wrong user name or password.</reason>\r\n</response>\r\n"),
              std::string::npos)
        << text;
}

TEST_F(AccountEndpointTest, RequestsItDoesNotServe)
{
    const std::string longLine(9000, 'a');
    std::string manyHeaders = "POST / HTTP/1.0\r\n";
    for (int i = 0; i < 70; ++i)
        manyHeaders += "x-h" + std::to_string(i) + ": v\r\n";
    std::string manyFields = "CMD=LOGIN";
    for (int i = 0; i < 40; ++i)
        manyFields += "&f" + std::to_string(i) + "=v";
    const struct {
        const char* name;
        std::string request;
        const char* status;
        const char* logged;
    } cases[] = {
        {"GET", "GET / HTTP/1.0\r\n\r\n", "HTTP/1.0 405 Method Not Allowed\r\n", "refused a GET request"},
        {"no length", "POST / HTTP/1.0\r\n\r\nCMD=LOGIN", "HTTP/1.0 411 Length Required\r\n", "without Content-Length"},
        {"long line", "POST /" + longLine + " HTTP/1.0\r\n\r\n", "HTTP/1.0 400 Bad Request\r\n", "malformed or oversized"},
        {"many headers", manyHeaders + "\r\n", "HTTP/1.0 400 Bad Request\r\n", "malformed or oversized"},
        {"large body", "POST / HTTP/1.0\r\nContent-Length: 70000\r\n\r\n", "HTTP/1.0 400 Bad Request\r\n",
         "malformed or oversized"},
        {"bad length", "POST / HTTP/1.0\r\nContent-Length: 12x\r\n\r\n", "HTTP/1.0 400 Bad Request\r\n",
         "malformed or oversized"},
        {"many fields", "POST / HTTP/1.0\r\nContent-Length: " + std::to_string(manyFields.size()) + "\r\n\r\n" + manyFields,
         "HTTP/1.0 400 Bad Request\r\n", "more than 32 fields"},
        {"unknown command", "POST / HTTP/1.0\r\nContent-Length: 10\r\n\r\nCMD=REMOVE", "HTTP/1.0 400 Bad Request\r\n",
         "refused a form with the command \"REMOVE\""},
        {"too slow", "POST / HTTP/1.0\r\nContent-Length: 10\r\n\r\nCMD", "HTTP/1.0 408 Request Timeout\r\n",
         "no whole request within 400 ms"},
    };
    for (const auto& c : cases) {
        LogCapture captured;
        const std::string reply = exchange(c.request);
        EXPECT_EQ(reply.substr(0, std::strlen(c.status)), c.status) << c.name << ": " << reply.substr(0, 200);
        EXPECT_EQ(captured.count({"account", c.logged}), 1) << c.name << "\n" << captured.dump();
    }
}

TEST_F(AccountEndpointTest, TheClientsFormPostIsUnderstood)
{
    // The program's own HTTP client and form encoder against the endpoint.
    HttpClient http;
    FormFields form;
    form.field("CMD") = "CREATE_USER";
    form.field("User_Name") = "J\xf6rg & co";
    form.field("Email") = "";
    form.field("First_Name") = "J\xf6rg";
    form.field("Last_Name") = "";
    form.field("Password") = "p w+%";
    form.field("Web_Site") = "";
    form.field("Network_ID") = "";
    const std::string url = "http://127.0.0.1:" + std::to_string(httpPort()) + "/orvane";
    ByteArray out;
    http.postForm(url.c_str(), &form, &out);
    XmlNode reply;
    ASSERT_TRUE(reply.parse(String(reinterpret_cast<const char*>(out.data()), out.count()).c_str()));
    EXPECT_EQ(reply.childOrEmpty("status")->value, String("SUCCESS"));
    EXPECT_TRUE(server->store().checkPassword("J\xf6rg & co", "p w+%", nullptr));
}

} // namespace
