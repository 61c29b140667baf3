#include "scan/cable_experiment.h"

#include <algorithm>
#include <memory>
#include <string>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "scan/cable_lanes.h"
#include "scan/cable_neighbours.h"
#include "scan/cable_readings.h"
#include "scan/cable_test.h"
#include "scan/line_drive.h"
#include "scan/modem_lines.h"
#include "scan/progress.h"
#include "scan/settle_bounds.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

namespace {

enum class Outcome {
    kTakingPart,
    kGivenUp,      // overran the request bound: Not Tested, no commands
    kGone,         // the device went away: Disconnected
    kRefused,      // the driver refused a line request: Not Supported
    kLeftOut,      // could not be prepared (control block, status read): Not Tested
};

struct Member {
    std::size_t record = 0;
    bool readOnly = false;
    std::unique_ptr<CableLane> lane;
    Outcome outcome = Outcome::kTakingPart;
    DWORD error = 0;
    int32_t refusedCommand = 0;
    uint32_t bound = kUnknownSettleMilliseconds;
    CablePortReadings readings;
    uint32_t lastStatus = 0;
    bool read = false;  // a read-only member's status came back
};

bool Active(const Member& m) { return m.outcome == Outcome::kTakingPart; }

// A high-resolution wait: Sleep and plain timers move in the system's timer steps (15.6 ms
// unless raised), longer than an on-board port's whole settle window.
class SettleTimer {
public:
    SettleTimer() {
        constexpr DWORD kHighResolution = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
        timer_.reset(CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS));
        if (!timer_) timer_.reset(CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
    }
    // Waits ms, letting the progress window's messages run at least every 10 ms.
    void Wait(uint32_t ms, uint32_t progressWindow) {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        const LONGLONG end = start.QuadPart + frequency.QuadPart * ms / 1000;
        for (;;) {
            PumpProgressMessages(progressWindow);
            QueryPerformanceCounter(&now);
            if (now.QuadPart >= end) return;
            const LONGLONG left100ns = (end - now.QuadPart) * 10000000 / frequency.QuadPart;
            LARGE_INTEGER due;
            due.QuadPart = -std::min<LONGLONG>(std::max<LONGLONG>(left100ns, 1), 100000);  // at most 10 ms
            if (timer_ && SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE))
                WaitForSingleObject(timer_.get(), 20);
            else
                Sleep(0);
        }
    }

private:
    UniqueHandle timer_;
};

class Experiment {
public:
    Experiment(std::vector<PortRecord>& records, const CableExperimentOptions& options)
        : records_(records), options_(options) {}

    void Add(std::size_t index, bool readOnly) {
        Member m;
        m.record = index;
        m.readOnly = readOnly;
        m.lane = std::make_unique<CableLane>(FieldToHandle(records_[index].WinHandle));
        if (!m.lane->usable()) m.outcome = Outcome::kLeftOut;
        members_.push_back(std::move(m));
    }

    CableExperimentReport Run() {
        AssignBounds();
        // Prepare: the driven ports' control blocks saved (and switched off handshake
        // control), the held ports read once.
        Step([](const Member& m) { return m.readOnly ? LaneOp::kRead : LaneOp::kSave; });
        std::vector<Member*> driven;
        for (Member& m : members_)
            if (!m.readOnly && Active(m)) driven.push_back(&m);
        report_.drivenPorts = driven.size();
        if (!driven.empty()) Measure(driven);
        // Every port that took part, and was not given up, back as it was.
        Step([](const Member&) { return LaneOp::kRestore; }, true);
        for (Member& m : members_) Write(m);
        members_.clear();  // the lanes end; one given up ends when its call returns
        return report_;
    }

private:
    void AssignBounds() {
        std::vector<uint32_t> bounds = options_.settleBounds;
        if (bounds.size() != records_.size()) {
            std::vector<std::string> names;
            for (const PortRecord& r : records_) names.emplace_back(Text(r.PortName));
            bounds = ReadSettleBounds(names);
        }
        for (Member& m : members_) m.bound = bounds[m.record];
    }

    // The drive and read rounds over the driven ports, then the verdicts.
    void Measure(const std::vector<Member*>& driven) {
        DriveAll(driven, [](std::size_t) { return false; });
        Settle(driven);
        ReadAll(driven, [](Member& m, uint32_t status) { m.readings.l0 = status; });
        const std::size_t rounds = CableRoundCount(driven.size());
        for (std::size_t round = 0; round < rounds; ++round) {
            DriveAll(driven, [round](std::size_t k) { return CableRoundLevel(k, round); });
            Settle(driven);
            ReadAll(driven, [](Member& m, uint32_t status) { m.readings.rounds.push_back(status); });
        }
        std::vector<CablePortReadings> readings;
        for (const Member* m : driven) readings.push_back(m->readings);
        verdicts_ = DecideCableReadings(readings);
        driven_ = driven;
        std::vector<std::size_t> unsettled;
        for (std::size_t k = 0; k < driven.size(); ++k)
            if (Active(*driven[k]) && verdicts_[k].finding == CableFinding::kUnsettled) unsettled.push_back(k);
        if (unsettled.empty()) return;
        DriveAll(driven, [](std::size_t) { return false; });
        Settle(driven);
        for (const std::size_t k : unsettled) TestAlone(k);
    }

    // A port whose readings spelled nothing drives alone, the others low: the port-by-port
    // test, waiting for its inputs as long as the slowest adapter may take.
    void TestAlone(std::size_t k) {
        Member& m = *driven_[k];
        const std::vector<Member*> one{&m};
        uint32_t before = 0, after = 0;
        ReadAll(one, [&](Member&, uint32_t status) { before = status; });
        const bool raiseDtr = (before & kDsrMask) == 0, raiseRts = (before & kCtsMask) == 0;
        Drive(m, raiseDtr, raiseRts);
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        for (;;) {
            ReadAll(one, [&](Member&, uint32_t status) { after = status; });
            if (!Active(m) || InputsAnswered(after, static_cast<int32_t>(before & kDsrMask),
                                             static_cast<int32_t>(before & kCtsMask)))
                break;
            QueryPerformanceCounter(&now);
            if ((now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart >= kLongestSettleMilliseconds) break;
            timer_.Wait(1, options_.progressWindow);
        }
        if (!Active(m)) return;
        verdicts_[k] = DecideAlone(before, after);
        Drive(m, false, false);
        ++report_.settleWindows;
        timer_.Wait(std::max(m.bound, kUnknownSettleMilliseconds), options_.progressWindow);
    }

    void Drive(Member& m, bool dtr, bool rts) {
        const std::vector<Member*> one{&m};
        Run(one, [&](Member&) { return std::pair{LaneOp::kDrive, std::pair{dtr, rts}}; });
    }

    template <typename Level>
    void DriveAll(const std::vector<Member*>& driven, Level level) {
        Run(driven, [&](Member& m) {
            const std::size_t k = static_cast<std::size_t>(std::find(driven.begin(), driven.end(), &m) - driven.begin());
            const bool high = level(k);
            return std::pair{LaneOp::kDrive, std::pair{high, high}};
        });
    }

    template <typename Store>
    void ReadAll(const std::vector<Member*>& members, Store store) {
        Run(members, [](Member&) { return std::pair{LaneOp::kRead, std::pair{false, false}}; });
        for (Member* m : members)
            if (Active(*m)) store(*m, m->lastStatus);
    }

    void Settle(const std::vector<Member*>& driven) {
        std::vector<uint32_t> bounds;
        for (const Member* m : driven)
            if (Active(*m)) bounds.push_back(m->bound);
        ++report_.settleWindows;
        timer_.Wait(CableSettleWindow(bounds), options_.progressWindow);
    }

    template <typename Choose>
    void Step(Choose choose, bool includeLeftOut = false) {
        std::vector<Member*> all;
        for (Member& m : members_) {
            const bool mayRestore = m.outcome != Outcome::kGivenUp && m.lane->usable() && !m.readOnly;
            if (includeLeftOut ? mayRestore : Active(m)) all.push_back(&m);
        }
        Run(all, [&](Member& m) { return std::pair{choose(m), std::pair{false, false}}; }, includeLeftOut);
    }

    // Starts one request on each member's lane and waits for all of them, at most the
    // request bound; a lane still busy then is given up.
    template <typename Request>
    void Run(const std::vector<Member*>& members, Request request, bool restoring = false) {
        std::vector<Member*> started;
        for (Member* m : members) {
            if (!restoring && !Active(*m)) continue;
            const auto [op, lines] = request(*m);
            if (m->lane->Start(op, lines.first, lines.second)) started.push_back(m);
            else if (!restoring) m->outcome = Outcome::kLeftOut;
        }
        // The lanes answer in any order; each is waited for in turn (one that is done stays
        // done), so the wait costs one look per lane.
        const uint64_t deadline = GetTickCount64() + options_.requestBoundMilliseconds;
        for (std::size_t waiting = 0; waiting < started.size();) {
            if (started[waiting]->lane->Done()) {
                ++waiting;
                continue;
            }
            const uint64_t now = GetTickCount64();
            if (now >= deadline) break;
            WaitForSingleObject(started[waiting]->lane->doneEvent(),
                                static_cast<DWORD>(std::min<uint64_t>(deadline - now, 10)));
            PumpProgressMessages(options_.progressWindow);
        }
        if (restoring) return;  // a lane still restoring finishes on its own
        for (Member* m : started) {
            if (!m->lane->Done()) {
                m->outcome = Outcome::kGivenUp;
                continue;
            }
            const LaneResult result = m->lane->Result();
            m->lastStatus = result.status;
            if (m->readOnly && result.error == 0) m->read = true;
            if (result.error == 0) continue;
            m->error = result.error;
            if (DeviceGoneError(result.error)) m->outcome = Outcome::kGone;
            else if (result.command != 0) {
                m->outcome = Outcome::kRefused;
                m->refusedCommand = result.command;
            } else m->outcome = Outcome::kLeftOut;
        }
    }

    void Write(const Member& m) {
        PortRecord& r = records_[m.record];
        auto notTested = [&r] {
            r.CableKind = -1;
            r.CableResponse = 0;
            r.DtrCommand = 0;
            r.RtsCommand = 0;
        };
        auto lines = [&r](uint32_t status) {
            r.ModemStatus = status;
            r.DataSendReady = static_cast<int32_t>(status & kDsrMask);
            r.ClearToSend = static_cast<int32_t>(status & kCtsMask);
            r.RING = static_cast<int32_t>(status & kRingMask);
            r.ReceiveLineDetect = static_cast<int32_t>(status & kRlsdMask);
        };
        auto captureError = [&r](DWORD error) {
            ResetChannelError();
            SetLastError(error);
            CaptureErrors(r);
            SetLastError(0);
        };
        switch (m.outcome) {
            case Outcome::kTakingPart:
                if (m.readOnly) {
                    if (m.read) lines(m.lastStatus);
                    notTested();
                    return;
                }
                for (std::size_t k = 0; k < driven_.size(); ++k) {
                    if (driven_[k] != &m) continue;
                    const CablePortVerdict& v = verdicts_[k];
                    if (v.finding != CableFinding::kDecided) break;
                    r.CableKind = v.kind;
                    r.CableResponse = v.response;
                    r.DtrCommand = v.dtrCommand;
                    r.RtsCommand = v.rtsCommand;
                    lines(v.statusAfter);
                    if (v.cabledTo >= 0)
                        SetText(r.AttachedDevice,
                                std::string(kCabledToPrefix) + std::string(Text(records_[driven_[v.cabledTo]->record].PortName)));
                    return;
                }
                notTested();
                return;
            case Outcome::kRefused:
                r.CableKind = -1;
                r.CableResponse = 0;
                if (m.refusedCommand == SETDTR || m.refusedCommand == CLRDTR) r.DtrCommand = m.refusedCommand;
                else r.RtsCommand = m.refusedCommand;
                captureError(m.error);
                return;
            case Outcome::kGone:
                notTested();
                SetText(r.Status, kStatusDisconnected);
                captureError(m.error);
                return;
            case Outcome::kGivenUp:
            case Outcome::kLeftOut:
                notTested();
                return;
        }
    }

    std::vector<PortRecord>& records_;
    const CableExperimentOptions& options_;
    std::vector<Member> members_;
    std::vector<Member*> driven_;
    std::vector<CablePortVerdict> verdicts_;
    CableExperimentReport report_;
    SettleTimer timer_;
};

}  // namespace

CableExperimentReport RunCableExperiment(std::vector<PortRecord>& records, const std::vector<bool>& skip,
                                         const CableExperimentOptions& options) {
    Experiment experiment(records, options);
    const uint32_t self = GetCurrentProcessId();
    for (std::size_t i = 0; i < records.size(); ++i) {
        PortRecord& r = records[i];
        if (i < skip.size() && skip[i]) {  // given up before: no line was driven
            r.CableKind = -1;
            r.CableResponse = 0;
            r.DtrCommand = 0;
            r.RtsCommand = 0;
            continue;
        }
        const bool ownChannelOpen = r.RtHandle != 0 && IsChannelOpen(r.RtHandle);
        const bool readOnly =
            ChooseCableTestMode(ownChannelOpen, Text(r.Status), r.ProcessId, self) == CableTestMode::kReadOnly;
        if (r.WinHandle != 0) {
            experiment.Add(i, readOnly);
            continue;
        }
        // No handle at all: nothing can be read or driven. A port held elsewhere is not
        // tested; any other reads the zero word, the verdict of a port with nothing on it.
        const CablePortVerdict none = DecideAlone(0, 0);
        r.CableKind = none.kind;
        r.CableResponse = none.response;
        r.DtrCommand = readOnly ? 0 : none.dtrCommand;
        r.RtsCommand = readOnly ? 0 : none.rtsCommand;
    }
    return experiment.Run();
}

void RunCableTest(PortRecord& record) {
    ReportStep(record, kCableRoutineName, "");
    std::vector<PortRecord> one{record};
    one.front().StatusWindow = 0;
    CableExperimentOptions options;
    options.progressWindow = record.StatusWindow;
    RunCableExperiment(one, {}, options);
    const uint32_t window = record.StatusWindow;
    record = one.front();
    record.StatusWindow = window;
}

}  // namespace kestrune
