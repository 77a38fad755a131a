// Which transport the options ask for, and the name a TLS server's certificate must carry.
#include <gtest/gtest.h>

#include <string>

#include "net/tls_settings.h"
#include "shell/tls_options.h"

namespace {

TEST(TlsOptions, TransportAndTheServerNameChecked) {
    const struct {
        const char* transport;
        const char* ca;
        const char* serverName;
        const char* serverText;  // RadHost as written
        bool tls;
        const char* expected;  // the server name, or the problem
    } rows[] = {
        {"udp", "", "", "", false, ""},
        {"", "", "", "", false, ""},
        {"UDP", "ca.pem", "", "", false, ""},
        {"tls", "ca.pem", "", "radius.example.org", true, "radius.example.org"},
        {"TLS", "ca.pem", "", "", true, "localhost"},
        {"tls", "ca.pem", "", "[2001:db8::1]", true, "2001:db8::1"},
        {"tls", "ca.pem", "radsec.example.org", "127.0.0.1", true, "radsec.example.org"},
        {"tls", "", "", "127.0.0.1", false,
         "Transport tls needs TlsCa, the authority the server's certificate is verified against"},
        {"dtls", "ca.pem", "", "", false, "Transport is neither udp nor tls: dtls"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.transport) + " " + row.serverText);
        TlsOptions options;
        options.transport = row.transport;
        options.ca = row.ca;
        options.serverName = row.serverName;
        std::string problem;
        const std::optional<TlsSettings> settings = TlsTransport(options, row.serverText, problem);
        ASSERT_EQ(settings.has_value(), row.tls);
        if (settings) {
            EXPECT_EQ(settings->serverName, row.expected);
            EXPECT_EQ(settings->ca, row.ca);
            EXPECT_TRUE(problem.empty());
        } else {
            EXPECT_EQ(problem, row.expected);
        }
    }
}

}  // namespace
