#pragma once

// Helpers for the stand-in server's tests: byte fixtures written out as hex, a session
// output that records what a client would receive, a capture of the server's log lines,
// and a store, hub and sessions in memory.

#include "core/Message.h"
#include "server/AccountStore.h"
#include "server/MessageHub.h"
#include "server/OrvaneServer.h"
#include "server/ServerLog.h"
#include "server/ServerSettings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace orvane::testing {

using Bytes = std::vector<uint8_t>;

// "23 64 00 ..." (blanks and line breaks ignored) as bytes.
inline Bytes hex(const char* text)
{
    Bytes out;
    int high = -1;
    for (const char* p = text; *p; ++p) {
        if (std::isspace(static_cast<unsigned char>(*p)))
            continue;
        const int v = std::isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : std::tolower(*p) - 'a' + 10;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    EXPECT_EQ(high, -1) << "odd number of hex digits in " << text;
    return out;
}

inline Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A header written by hand and a body: the body's length must be the one the header's last
// four bytes give, which the fixture's author counted.
inline Bytes frameFixture(const char* headerHex, const std::string& body)
{
    Bytes header = hex(headerHex);
    EXPECT_EQ(header.size(), 21u);
    if (header.size() == 21) {
        const uint32_t length = (uint32_t(header[17]) << 24) | (uint32_t(header[18]) << 16) |
                                (uint32_t(header[19]) << 8) | header[20];
        EXPECT_EQ(length, body.size()) << "fixture length miscounted for " << body;
    }
    return header + text(body);
}

// The sign-in frames of alice (#1, password "secret1") and bob (#2, "secret2"), the two
// accounts most server tests sign in with.
inline Bytes aliceSignInFrame()
{
    return frameFixture(
        "23 64 00  00 00 00 00 00  00 00  00 00 00 00 00  00 00  00 00 00 71",
        R"(<message network_id="" user_id="1" user_name="alice" password="secret1" status="1" peer_contacts="" contacts=""/>)");
}

inline Bytes bobSignInFrame()
{
    return frameFixture(
        "23 64 00  00 00 00 00 00  00 00  00 00 00 00 00  00 00  00 00 00 6f",
        R"(<message network_id="" user_id="2" user_name="bob" password="secret2" status="1" peer_contacts="" contacts=""/>)");
}

inline std::string printable(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

// The 16-byte records of a presence body, as a client reads them: (id, status) pairs.
inline std::vector<std::pair<uint64_t, int>> presenceRecords(const std::string& body)
{
    std::vector<std::pair<uint64_t, int>> out;
    if (body.size() < 2)
        return out;
    const size_t n = (size_t(uint8_t(body[0])) << 8) | uint8_t(body[1]);
    for (size_t o = 2; o + 16 <= body.size() && o - 2 < n; o += 16) {
        uint64_t id = 0;
        for (size_t i = 0; i < 8; ++i)
            id = (id << 8) | uint8_t(body[o + i]);
        out.emplace_back(id, uint8_t(body[o + 8]));
    }
    return out;
}

// Collects the server's log lines for the test to look at.
class LogCapture {
public:
    LogCapture()
    {
        std::lock_guard<std::mutex> g(lock());
        lines().clear();
        setServerLogSink(&LogCapture::sink);
    }
    ~LogCapture() { setServerLogSink(nullptr); }

    std::vector<std::string> all() const
    {
        std::lock_guard<std::mutex> g(lock());
        return lines();
    }
    // Lines that hold every one of the words.
    int count(std::initializer_list<const char*> words) const
    {
        int n = 0;
        for (const std::string& line : all()) {
            bool all = true;
            for (const char* w : words)
                all = all && line.find(w) != std::string::npos;
            n += all ? 1 : 0;
        }
        return n;
    }
    std::string dump() const
    {
        std::string out;
        for (const std::string& line : all())
            out += line + "\n";
        return out;
    }

private:
    static void sink(const char* line)
    {
        std::lock_guard<std::mutex> g(lock());
        lines().push_back(line);
    }
    static std::mutex& lock()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& lines()
    {
        static std::vector<std::string> l;
        return l;
    }
};

// What a client would receive: every frame as its bytes.
class RecordingOutput : public SessionOutput {
public:
    bool send(const uint8_t* frame, int length) override
    {
        std::lock_guard<std::mutex> g(lock_);
        if (closed_)
            return false;
        frames_.emplace_back(frame, frame + length);
        return true;
    }
    void requestClose() override
    {
        std::lock_guard<std::mutex> g(lock_);
        closed_ = true;
    }
    // The frames received since the last take.
    std::vector<Bytes> take()
    {
        std::lock_guard<std::mutex> g(lock_);
        std::vector<Bytes> out;
        out.swap(frames_);
        return out;
    }
    bool closed()
    {
        std::lock_guard<std::mutex> g(lock_);
        return closed_;
    }

private:
    std::mutex lock_;
    std::vector<Bytes> frames_;
    bool closed_ = false;
};

inline SocketAddress endpoint(const char* dotted, int port)
{
    SocketAddress a;
    a.setHost(dotted, port);
    return a;
}

// An orvane-server in this process, started on loopback ports of the system's choice, with
// alice's and bob's accounts (alice is #1, bob #2).
inline std::unique_ptr<OrvaneServer> startServerWithAliceAndBob(ServerSettings& settings)
{
    settings.httpAddress = endpoint("127.0.0.1", 0);
    settings.messageAddress = endpoint("127.0.0.1", 0);
    auto server = std::make_unique<OrvaneServer>(settings);
    server->start();
    AccountRecord r;
    uint64_t id;
    r.userName = "alice";
    server->store().createAccount(r, "secret1", id);
    r.userName = "bob";
    server->store().createAccount(r, "secret2", id);
    return server;
}

// An in-memory store with cheap hashes and a hub over it.
struct HubRig {
    explicit HubRig(ServerSettings s = ServerSettings()) : settings(s), store("", 1), hub(store, settings) {}

    uint64_t account(const char* name, const char* password, const char* first = "", const char* last = "",
                     const char* email = "")
    {
        AccountRecord r;
        r.userName = name;
        r.firstName = first;
        r.lastName = last;
        r.email = email;
        uint64_t id = 0;
        EXPECT_EQ(store.createAccount(r, password, id), AccountStore::Created);
        return id;
    }

    ServerSettings settings;
    AccountStore store;
    MessageHub hub;
};

// One client of a HubRig: its session, what it received, and a reader for its bytes.
struct RigClient {
    RigClient(HubRig& rig, const char* dotted, int port)
        : session(new ClientSession(rig.hub, output, endpoint(dotted, port)))
    {
        reader.maxBodyLength = rig.settings.maxFrameBody;
    }

    // Reads the bytes as the client's frames and hands each to the session. False once a
    // frame was refused.
    bool feed(const Bytes& bytes)
    {
        ByteBufferSource source(bytes.data(), static_cast<int>(bytes.size()));
        reader.setSource(&source);
        for (;;) {
            try {
                reader.read();
            } catch (const NoConnectionException&) {
                reader.setSource(nullptr);
                return true;
            } catch (const Exception&) {
                reader.setSource(nullptr);
                return false;
            }
            if (!session->onFrame(reader)) {
                reader.setSource(nullptr);
                return false;
            }
        }
    }
    // The session's connection ends.
    void leave() { session.reset(); }

    RecordingOutput output;
    std::unique_ptr<ClientSession> session;
    Message reader{5};
};

} // namespace orvane::testing
