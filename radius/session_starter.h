// The one thing a source of sessions (simulation, dialogs) needs from the engine.
#pragma once

#include <cstdint>

class AttributeList;

class SessionStarter {
public:
    virtual ~SessionStarter() = default;
    // Makes a session and sends its first Access-Request; false with the reason in LastError().
    virtual bool AddSession(const char* userName, const char* password, std::uint32_t duration,
                            const AttributeList& authAttributes,
                            const AttributeList& acctStartAttributes,
                            const AttributeList& acctStopAttributes) = 0;
    virtual const char* LastError() const = 0;
};
