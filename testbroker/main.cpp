// The testbroker program: the broker's servers on loopback for running the
// terminal by hand or from scripts/run.
#include "TestBroker.h"

#include <pf/log.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

const char kHelp[] =
    "Usage: testbroker [options]\n"
    "Serves on 127.0.0.1 everything the terminal talks to: session and account\n"
    "exchanges, start-up look-ups, master file downloads and the feed.\n"
    "\n"
    "  --help               this text\n"
    "  --demo               move quotes of subscribed securities, indices and send\n"
    "                       broadcast messages; runs until stopped (Ctrl+C)\n"
    "  --port N             HTTP port for every path (default: ephemeral)\n"
    "  --feed-port N        feed port, TCP and HTTP stream (default: ephemeral)\n"
    "  --udp-port N         the terminal's UDP feed port (Mcast_Port); default: no UDP\n"
    "  --tls                also serve HTTPS, with a test CA generated at start\n"
    "  --https-port N       HTTPS port (default: ephemeral)\n"
    "  --tls-dir DIR        where ca.pem, server.pem and server.key are written\n"
    "  --securities N       size of the security universe (default 3000)\n"
    "  --seed N             seed of the universe and the demo market (default 1)\n"
    "  --encryption N       request encoding announced by ED=19: 0 plain, 1 Base64, 2 RSA\n"
    "  --keys DIR           folder of rsa1_private.pem and rsa2_private.pem\n"
    "  --tick-ms N          demo market step (default 1000)\n"
    "  --broadcast-minutes N  demo: one exchange or general message every N\n"
    "                       minutes (default 20; 0 = none)\n"
    "  --user ID:PASSWORD   add a user (U1:Test@123 always exists)\n"
    "\n"
    "Once running it prints its ports and the value for VORTANEX_CONNECT_TO.\n";

bool number(const char* text, long min, long max, long* out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!text[0] || *end || v < min || v > max)
        return false;
    *out = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    tb::BrokerOptions options;
    std::vector<std::pair<std::string, std::string>> users;
    long broadcastMinutes = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](long min, long max) -> long {
            long v = 0;
            if (i + 1 >= argc || !number(argv[i + 1], min, max, &v)) {
                std::cerr << "testbroker: " << a << " needs a number from " << min << " to " << max << "\n";
                std::exit(2);
            }
            ++i;
            return v;
        };
        auto text = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "testbroker: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            return 0;
        } else if (a == "--demo") {
            options.demo = true;
        } else if (a == "--port") {
            options.httpPort = static_cast<uint16_t>(value(0, 65535));
        } else if (a == "--feed-port") {
            options.feedPort = static_cast<uint16_t>(value(0, 65535));
        } else if (a == "--udp-port") {
            options.udpPort = static_cast<uint16_t>(value(0, 65535));
        } else if (a == "--https-port") {
            options.httpsPort = static_cast<uint16_t>(value(0, 65535));
        } else if (a == "--tls") {
            options.tls = true;
        } else if (a == "--tls-dir") {
            options.tlsDir = text();
        } else if (a == "--securities") {
            options.securities = static_cast<int>(value(1, 300000));
        } else if (a == "--seed") {
            options.seed = static_cast<uint64_t>(value(0, 2147483647));
        } else if (a == "--encryption") {
            options.encryption = static_cast<int>(value(0, 2));
        } else if (a == "--keys") {
            options.keyDir = text();
        } else if (a == "--tick-ms") {
            options.demoTickMs = static_cast<int>(value(10, 600000));
        } else if (a == "--broadcast-minutes") {
            broadcastMinutes = value(0, 1440);
        } else if (a == "--user") {
            const std::string u = text();
            const size_t colon = u.find(':');
            if (colon == std::string::npos) {
                std::cerr << "testbroker: --user needs ID:PASSWORD\n";
                return 2;
            }
            users.emplace_back(u.substr(0, colon), u.substr(colon + 1));
        } else {
            std::cerr << "testbroker: unknown option " << a << " (see --help)\n";
            return 2;
        }
    }
    options.broadcastEveryTicks =
        broadcastMinutes == 0 ? 0 : static_cast<int>(std::max(1L, broadcastMinutes * 60000L / options.demoTickMs));
    if (options.httpPort == 80 || options.feedPort == 80 || options.httpsPort == 80) {
        std::cerr << "testbroker: port 80 is never bound; the terminal reaches the broker through VORTANEX_CONNECT_TO\n";
        return 2;
    }
    pf::setLogSink([](int, std::string_view line) { std::cerr << line << "\n"; });

    tb::TestBroker broker(options);
    for (const auto& [id, password] : users)
        broker.addUser(id, password);
    std::string error;
    if (!broker.start(&error)) {
        std::cerr << "testbroker: " << error << "\n";
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::cout << "testbroker: http 127.0.0.1:" << broker.httpPort() << " feed 127.0.0.1:" << broker.feedPort();
    if (options.tls)
        std::cout << " https 127.0.0.1:" << broker.httpsPort() << " ca " << broker.caCertPath();
    if (options.udpPort)
        std::cout << " udp -> 127.0.0.1:" << options.udpPort;
    std::cout << "\nTrade_Host=127.0.0.1 Trade_Port=" << broker.httpPort() << "\nVORTANEX_CONNECT_TO="
              << broker.connectToMap() << "\n"
              << broker.universe().securities().size() << " securities, master dated " << broker.universe().date()
              << (options.demo ? ", demo market running" : "") << std::endl;
    while (!g_stop)
        ::usleep(100 * 1000);
    broker.stop();
    return 0;
}
