// The Simulation: plays a simulation file, one line per session, handing each line to the
// engine as a new session when its time has come. It keeps exactly one line read ahead.
//
// Line format (one session per line, no comments):
//   time,user,password,MM:SS[,section;section;...]
//   time     D:HH:MM:SS  offset from loading the file, or
//            HH:MM:SS    a local time of day (its next occurrence; within a minute past: now);
//            either may end in .mmm, milliseconds within its second
//   section  Auth:pairs | Acct:pairs | AcctStart:pairs | AcctStop:pairs   (keyword case ignored)
//   pairs    Name=value,Name=value,...  (names as in the dictionary, case-sensitive)
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

#include "infra/clock.h"
#include "infra/file_handle.h"
#include "protocol/attribute_list.h"
#include "simulation/invalid_lines.h"
#include "simulation/simulation_file.h"

class Dictionary;
class SessionStarter;

class Simulation {
public:
    // What ReadNextLine found.
    enum ReadResult : int {
        kLineReady = 0,    // a line was read and may be sent
        kLineInvalid = 2,  // the line was invalid and is skipped ("Invalid Line: %s" logged)
        kEndOfFile = 3,    // nothing more to read; the file is closed
    };

    explicit Simulation(const Clock& clock = SystemClock::Instance());
    virtual ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    // Keeps the engine (not owned) and, when a DictionarySet is registered, loads the
    // dictionary of that name through it (nullptr: "default.dic"). False when that load fails;
    // with no DictionarySet the dictionary stays as it was and the result is true.
    bool Attach(SessionStarter* engine, const char* dictionaryName);

    // Closes any file being played, opens this one, counts its offsets from now, reads its
    // first line and sends every line already due. False when the file cannot be opened
    // ("Simulation file does not exist: %s"), is empty, or its first line is invalid.
    bool LoadFile(const char* path);

    // One timer tick: sends every line whose time has come, reading ahead as it goes. A line
    // in whole seconds is due once as many calendar seconds have begun since the load as its
    // offset says (as ever); one with milliseconds, once the calendar clock has reached that
    // second of its offset and that millisecond within it. True
    // while the simulation goes on, false once the file is played out (or none is open).
    // An invalid line ends the tick; reading goes on at the next one.
    bool Step();

    // The calendar millisecond (that of Clock::NowMilliseconds) from which Step has work: the
    // time of the line read ahead, valid or not. None once the file is played out.
    std::optional<std::int64_t> NextDueMilliseconds() const;

    // Reads the next line into the per-line members.
    ReadResult ReadNextLine();

    bool IsFileOpen() const { return file_ != nullptr; }
    const Dictionary* GetDictionary() const { return dictionary_; }
    std::time_t StartTime() const { return startTime_; }
    // Lines read from the file being played (valid or not), the one read ahead included.
    std::uint64_t LinesRead() const { return linesRead_; }
    // The invalid lines of the file being played (or last played), by reason.
    const InvalidLineCounts& InvalidLines() const { return invalidLines_; }

    // The line read ahead.
    std::int32_t NextOffset() const { return nextOffset_; }
    // Its milliseconds within the second of NextOffset(), or -1 for a line in whole seconds.
    int NextMilliseconds() const { return nextMilliseconds_; }
    const char* UserName() const { return userName_; }
    const char* Password() const { return password_; }
    std::uint32_t Duration() const { return duration_; }
    bool LineReady() const { return lineReady_; }
    const AttributeList& AuthAttributes() const { return authAttributes_; }
    const AttributeList& AcctStartAttributes() const { return acctStartAttributes_; }
    const AttributeList& AcctStopAttributes() const { return acctStopAttributes_; }

private:
    // Fills the per-line members from one line (its line end removed); false when invalid,
    // with the reason in lineFault_.
    bool ParseLine(char* text);
    // The line read ahead has come due at these readings of the clock.
    bool LineDue(std::time_t now, std::int64_t nowMilliseconds) const;
    bool ParseSection(const char* section);
    bool Refuse(InvalidLineReason reason) {
        lineFault_ = reason;
        return false;
    }
    void CloseFile();
    // The first line of a file whose user name or password had to be cut says so at level 1.
    void WarnOfCuts();

    const Clock& clock_;
    SessionStarter* engine_ = nullptr;
    const Dictionary* dictionary_ = nullptr;
    UniqueFile file_;
    std::time_t startTime_ = 0;
    std::uint64_t linesRead_ = 0;
    InvalidLineCounts invalidLines_;
    InvalidLineReason lineFault_ = InvalidLineReason::Time;
    bool userNameCut_ = false;  // on the line just read
    bool passwordCut_ = false;
    bool userNameCutTold_ = false;  // in the file being played
    bool passwordCutTold_ = false;

    std::int32_t nextOffset_ = 0;
    int nextMilliseconds_ = -1;
    char userName_[kLineUserNameLength + 1] = {};
    char password_[kLinePasswordLength + 1] = {};
    std::uint32_t duration_ = 0;
    bool lineReady_ = false;
    AttributeList authAttributes_;
    AttributeList acctStartAttributes_;
    AttributeList acctStopAttributes_;
};
