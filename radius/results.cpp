// Handing result lines and the counter report to the shell.
#include "infra/clock.h"
#include "radius/radius_engine.h"

void RadiusEngine::ReportResult(ResultKind kind, const Session* session, std::span<const std::uint8_t> reply) {
    if (!resultCallback_) return;
    if (kind == ResultKind::CounterReport) {
        for (const std::string& line : ComposeCounterReport(counters_, countersStart_, clock_.Now()))
            resultCallback_(line.c_str());
        return;
    }
    const bool isReplyLine = kind == ResultKind::AuthAccept || kind == ResultKind::AuthReject ||
                             kind == ResultKind::AccountingReply;
    if (isReplyLine && !incomingNotify_) return;
    if (session == nullptr) return;
    resultCallback_(ComposeResultLine(kind, *session, reply).c_str());
}

void RadiusEngine::CheckSimulationDone() {
    if (sessions_.Count() != 0 || !simulationDone_) return;
    simulationDone_ = false;
    ReportResult(ResultKind::CounterReport, nullptr);
}

void RadiusEngine::SetSimulationDone() {
    simulationDone_ = true;
    CheckSimulationDone();
}

void RadiusEngine::ReportCounters() {
    simulationDone_ = false;  // told once
    ReportResult(ResultKind::CounterReport, nullptr);
}

void RadiusEngine::ResetCounters() {
    counters_ = RequestCounters{.interimsEnabled = counters_.interimsEnabled};
    statistics_.Reset();
    countersStart_ = clock_.Now();
}
