#include "simulation/simulation.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "infra/bounded_string.h"
#include "infra/log.h"
#include "infra/regular_file.h"
#include "protocol/dictionary.h"
#include "radius/session_starter.h"

namespace {

// Lines are read as text: a CR LF line end counts as one line feed.
void MakeTextModeLineEnd(char* line) {
    const std::size_t length = std::strlen(line);
    if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n') {
        line[length - 2] = '\n';
        line[length - 1] = '\0';
    }
}

}  // namespace

Simulation::Simulation(const Clock& clock) : clock_(clock) {}

Simulation::~Simulation() = default;

bool Simulation::Attach(SessionStarter* engine, const char* dictionaryName) {
    engine_ = engine;
    DictionarySet* dictionaries = DictionarySet::Instance();
    if (!dictionaries) return true;
    dictionary_ = dictionaries->Load(dictionaryName);
    return dictionary_ != nullptr;
}

bool Simulation::LoadFile(const char* path) {
    CloseFile();
    int error = 0;
    // Only a regular file: a FIFO would hold the opening (and every stop request after it)
    // until a writer came, and a device such as /dev/zero would be read for ever.
    const int fd = path ? OpenRegularFileForReading(path, &error) : -1;
    std::FILE* file = fd >= 0 ? fdopen(fd, "r") : nullptr;
    if (!file) {
        if (fd >= 0) close(fd);
        if (error == kNotRegularFileError) Log(1, "Simulation file is not a regular file: %s", path);
        else Log(1, "Simulation file does not exist: %s", path ? path : "");
        return false;
    }
    file_.reset(file);
    startTime_ = clock_.Now();
    nextOffset_ = 0;
    linesRead_ = 0;
    invalidLines_.Clear();
    userNameCutTold_ = passwordCutTold_ = false;
    // A file that starts with an invalid line is refused; an empty one has been closed.
    if (ReadNextLine() != kLineReady) return false;
    Step();
    return true;
}

bool Simulation::Step() {
    if (!file_) return false;
    const std::time_t now = clock_.Now();
    const std::int64_t nowMilliseconds = clock_.NowMilliseconds();
    if (!LineDue(now, nowMilliseconds)) return true;
    for (;;) {
        // A session the engine cannot start is logged by the engine and lost.
        if (lineReady_ && engine_)
            engine_->AddSession(userName_, password_, duration_, authAttributes_,
                                acctStartAttributes_, acctStopAttributes_);
        switch (ReadNextLine()) {
            case kEndOfFile:
                return false;
            case kLineInvalid:
                return true;
            case kLineReady:
                if (!LineDue(now, nowMilliseconds)) return true;
                break;
        }
    }
}

bool Simulation::LineDue(std::time_t now, std::int64_t nowMilliseconds) const {
    if (nextMilliseconds_ < 0) return std::int64_t{now} - startTime_ >= nextOffset_;
    return nowMilliseconds >= (std::int64_t{startTime_} + nextOffset_) * 1000 + nextMilliseconds_;
}

std::optional<std::int64_t> Simulation::NextDueMilliseconds() const {
    if (!file_) return std::nullopt;
    // An invalid line read ahead holds the reading up until its time too, as in Step.
    return (std::int64_t{startTime_} + nextOffset_) * 1000 + std::max(nextMilliseconds_, 0);
}

Simulation::ReadResult Simulation::ReadNextLine() {
    char line[kLineBufferSize];
    if (!file_ || !std::fgets(line, sizeof line, file_.get())) {
        CloseFile();
        return kEndOfFile;
    }
    ++linesRead_;
    MakeTextModeLineEnd(line);

    char work[kLineBufferSize];
    std::memcpy(work, line, sizeof work);
    const std::size_t length = std::strlen(work);
    if (length > 0 && (work[length - 1] == '\n' || work[length - 1] == '\r')) work[length - 1] = '\0';

    if (ParseLine(work)) {
        lineReady_ = true;
        WarnOfCuts();
        return kLineReady;
    }
    Log(1, "Invalid Line: %s", line);
    invalidLines_.Add(lineFault_);
    lineReady_ = false;
    return kLineInvalid;
}

bool Simulation::ParseLine(char* text) {
    char* position = nullptr;
    const char* timeField = NextField(text, ",", position);
    if (!timeField) return Refuse(InvalidLineReason::Time);

    const LineTime time = ReadLineTime(timeField);
    nextMilliseconds_ = time.milliseconds;
    switch (time.form) {
        case LineTime::Form::Offset:
            nextOffset_ = OffsetSeconds(time);
            break;
        case LineTime::Form::TimeOfDay: {
            const std::time_t now = clock_.Now();
            const std::time_t due = ResolveTimeOfDay(time.hours, time.minutes, time.seconds, now);
            // One that has just passed is due at once, whatever its milliseconds said.
            if (due == now && !IsTimeOfDay(now, time.hours, time.minutes, time.seconds)) nextMilliseconds_ = -1;
            const std::int64_t offset = static_cast<std::int64_t>(due) - startTime_;
            nextOffset_ = static_cast<std::int32_t>(
                std::clamp<std::int64_t>(offset, INT32_MIN, INT32_MAX));
            break;
        }
        case LineTime::Form::Invalid:
            return Refuse(InvalidLineReason::Time);
    }

    const char* userName = NextField(nullptr, ",", position);
    if (!userName) return Refuse(InvalidLineReason::MissingField);
    CopyBounded(userName_, userName, sizeof userName_);
    userNameCut_ = std::strlen(userName) > kLineUserNameLength;
    const char* password = NextField(nullptr, ",", position);
    if (!password) return Refuse(InvalidLineReason::MissingField);
    CopyBounded(password_, password, sizeof password_);
    passwordCut_ = std::strlen(password) > kLinePasswordLength;
    const char* durationField = NextField(nullptr, ",", position);
    std::int32_t duration = 0;
    // A negative length would make a session that never ends.
    if (!durationField) return Refuse(InvalidLineReason::MissingField);
    if (!ReadDuration(durationField, duration) || duration < 0) return Refuse(InvalidLineReason::Duration);
    duration_ = static_cast<std::uint32_t>(duration);

    authAttributes_.Clear();
    acctStartAttributes_.Clear();
    acctStopAttributes_.Clear();
    // The rest of the line after the duration's "," is sections separated by ";".
    for (const char* section = NextField(nullptr, ";", position); section;
         section = NextField(nullptr, ";", position)) {
        if (!ParseSection(section)) return false;
    }
    return true;
}

bool Simulation::ParseSection(const char* section) {
    const SectionKeyword keyword = MatchSectionKeyword(section);
    const char* pairs = section + keyword.length;
    lineFault_ = keyword.kind == SectionKind::Unknown ? InvalidLineReason::Section : InvalidLineReason::Attribute;
    switch (keyword.kind) {
        case SectionKind::Auth:
            return ::ParseAttributePairs(dictionary_, pairs, authAttributes_, true);
        case SectionKind::Acct:
            return ::ParseAttributePairs(dictionary_, pairs, acctStartAttributes_, false) &&
                   ::ParseAttributePairs(dictionary_, pairs, acctStopAttributes_, false);
        case SectionKind::AcctStart:
            return ::ParseAttributePairs(dictionary_, pairs, acctStartAttributes_, false);
        case SectionKind::AcctStop:
            return ::ParseAttributePairs(dictionary_, pairs, acctStopAttributes_, false);
        case SectionKind::Unknown:
            break;
    }
    return false;
}

void Simulation::WarnOfCuts() {
    const auto line = static_cast<unsigned long long>(linesRead_);
    if (userNameCut_ && !userNameCutTold_) {
        userNameCutTold_ = true;
        Log(1, "User name longer than %zu characters cut to %s on line %llu (later ones are not told)",
            kLineUserNameLength, userName_, line);
    }
    if (passwordCut_ && !passwordCutTold_) {
        passwordCutTold_ = true;
        Log(1, "Password longer than %zu characters cut on line %llu (later ones are not told)",
            kLinePasswordLength, line);
    }
}

void Simulation::CloseFile() {
    file_.reset();
    lineReady_ = false;
}
