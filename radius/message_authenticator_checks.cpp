// What the engine does about Message-Authenticator (RFC 3579 section 3.2) in replies to
// Access-Requests, and the hint when Access-Requests go unanswered without one.
#include <algorithm>

#include "infra/log.h"
#include "radius/message_authenticator.h"
#include "radius/radius_engine.h"

namespace {

constexpr int kRequireLogged = 1;     // a reply without a right one is logged, then handled
constexpr int kRequireDiscarded = 2;  // such a reply is discarded

}  // namespace

void RadiusEngine::SetRequireMessageAuthenticator(int required) {
    requireMessageAuthenticator_ = std::clamp(required, 0, kRequireDiscarded);
}

bool RadiusEngine::AcceptReplyMessageAuthenticator(std::span<const std::uint8_t> reply, const Session& session) {
    // Only replies to Access-Requests: accounting has the Response Authenticator alone.
    if (session.state != SessionState::Authenticating) return true;
    const MessageAuthenticatorCheck check =
        CheckReplyMessageAuthenticator(reply, session.lastRequestAuthenticator, secret_);
    if (check == MessageAuthenticatorCheck::Right) return true;
    // A wrong one is worth a line whatever is required: the reply is forged, damaged or signed
    // with another secret.
    if (check == MessageAuthenticatorCheck::Missing && requireMessageAuthenticator_ < kRequireLogged) return true;

    const bool discard = requireMessageAuthenticator_ >= kRequireDiscarded;
    const char* what = check == MessageAuthenticatorCheck::Missing ? "missing" : "wrong";
    SetError("Message-Authenticator %s in reply: %d%s", what, static_cast<int>(session.requestId),
             discard ? " - reply discarded" : "");
    Log(1, "%s", lastError_.c_str());
    return !discard;
}

void RadiusEngine::HintMessageAuthenticator() {
    if (messageAuthenticator_ || messageAuthenticatorHinted_) return;
    messageAuthenticatorHinted_ = true;
    Log(1, "No reply to an Access-Request: the server may require Message-Authenticator "
           "(set MessageAuthenticator=1 in [Options])");
}
