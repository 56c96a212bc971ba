// orvane-server: the stand-in message server, account endpoint and store, for running and
// testing Orvane on one machine. It runs until SIGINT or SIGTERM.
#include "foundation/Socket.h"
#include "server/OrvaneServer.h"
#include "server/ServerLog.h"
#include "server/ServerOptions.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

using namespace orvane;

int main(int argc, char** argv)
{
    ServerSettings settings;
    bool help = false;
    String error;
    if (!parseServerOptions(argc, argv, settings, help, error)) {
        std::fprintf(stderr, "orvane-server: %s\n%s", error.c_str(), serverUsage());
        return 2;
    }
    if (help) {
        std::fputs(serverUsage(), stdout);
        return 0;
    }

    // The signals are taken by sigwait below; every thread started from here on inherits
    // the mask, so none of them is interrupted by them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    socketStartup();
    // Every connection takes a descriptor.
    const long openFiles = raiseOpenFileLimit();

    OrvaneServer server(settings);
    try {
        server.start();
    } catch (const AccountStore::StoreException&) {
        std::fprintf(stderr, "orvane-server: cannot open the database %s\n",
                     settings.databasePath.isEmpty() ? "in memory" : settings.databasePath.c_str());
        return 1;
    } catch (const ThreadCreateException&) {
        std::fprintf(stderr, "orvane-server: cannot start its threads\n");
        return 1;
    } catch (const Exception&) {
        std::fprintf(stderr, "orvane-server: cannot listen on %s:%u and %s:%u\n",
                     settings.httpAddress.getHostAddress().c_str(), settings.httpAddress.getPort(),
                     settings.messageAddress.getHostAddress().c_str(), settings.messageAddress.getPort());
        if (settings.relayEnabled)
            std::fprintf(stderr, "orvane-server: or the relay's TCP and UDP port %s:%u\n",
                         settings.relayAddress.getHostAddress().c_str(), settings.relayAddress.getPort());
        return 1;
    }
    std::printf("%s\n", listeningLine(server.httpAddress(), server.messageAddress(), server.relayAddress()).c_str());
    std::fflush(stdout);
    serverLog("accounts %s", settings.databasePath.isEmpty() ? "in memory" : printableText(settings.databasePath, 200).c_str());
    serverLog("up to %d message and %d account connections (%ld descriptors), %d password workers",
              server.maxMessageConnections(), server.maxHttpConnections(), openFiles, settings.passwordWorkers);
    if (settings.relayEnabled)
        serverLog("relay: up to %d sessions, %d per account", server.maxRelaySessions(),
                  settings.maxRelaySessionsPerUser);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    serverLog("stopping");
    server.stop();
    socketCleanup();
    return 0;
}
