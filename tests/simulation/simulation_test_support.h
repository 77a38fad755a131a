// Shared pieces of the simulation tests: a temporary folder with a small dictionary, a session
// starter that records what it is given, and a time-zone switch.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "infra/clock.h"
#include "protocol/attribute_list.h"
#include "protocol/dictionary.h"
#include "radius/session_starter.h"

inline constexpr const char* kTestDictionary =
    "ATTRIBUTE User-Name 1 string\n"
    "ATTRIBUTE NAS-IP-Address 4 ipaddr\n"
    "ATTRIBUTE NAS-Port 5 integer\n"
    "ATTRIBUTE Service-Type 6 integer\n"
    "ATTRIBUTE Called-Station-Id 30 string\n"
    "ATTRIBUTE Acct-Delay-Time 41 integer\n"
    "ATTRIBUTE Event-Timestamp 55 date\n"
    "VALUE Service-Type Framed-User 2\n";

// A folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelvok-sim-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }
    // Writes the bytes as they are and returns the file's path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

private:
    std::filesystem::path path_;
};

// Everything the simulation handed to the engine.
struct StartedSession {
    std::string userName;
    std::string password;
    std::uint32_t duration;
    AttributeList auth;
    AttributeList acctStart;
    AttributeList acctStop;
    std::time_t at;  // the clock when it was handed over
};

class RecordingStarter : public SessionStarter {
public:
    explicit RecordingStarter(const Clock& clock) : clock_(clock) {}
    bool AddSession(const char* userName, const char* password, std::uint32_t duration,
                    const AttributeList& authAttributes, const AttributeList& acctStartAttributes,
                    const AttributeList& acctStopAttributes) override {
        sessions.push_back({userName, password, duration, authAttributes, acctStartAttributes,
                            acctStopAttributes, clock_.Now()});
        return true;
    }
    const char* LastError() const override { return ""; }

    std::vector<std::string> UserNames() const {
        std::vector<std::string> names;
        for (const auto& session : sessions) names.push_back(session.userName);
        return names;
    }

    std::vector<StartedSession> sessions;

private:
    const Clock& clock_;
};

// Switches the process's local time zone for one test.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = getenv("TZ")) saved_ = std::make_unique<std::string>(old);
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::unique_ptr<std::string> saved_;
};

// The calendar time of a local wall-clock time (mktime decides about daylight saving).
inline std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// The attributes of a list as "Name=number:length" texts, for compact comparisons.
inline std::vector<std::string> Describe(const AttributeList& list) {
    std::vector<std::string> texts;
    for (const RadiusAttribute& attribute : list)
        texts.push_back(std::string(attribute.name) + "=" +
                        (attribute.type == ValueType::String
                             ? std::string(reinterpret_cast<const char*>(attribute.data),
                                           static_cast<std::size_t>(attribute.length))
                             : std::to_string(attribute.intValue)));
    return texts;
}
