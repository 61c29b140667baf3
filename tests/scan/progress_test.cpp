// How scan progress reaches its sink: the interval gate's decisions, bursts that show their
// last texts, messages run on every report, and the stop request. The sink here is a fake
// that records what it is asked to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/progress.h"
#include "support/fixed_text.h"

using namespace kestrune;

namespace {

TEST(IntervalGate, OncePerInterval) {
    const struct {
        uint32_t interval;
        uint64_t now;
        bool admitted;
    } steps[] = {
        {16, 1000, true},  {16, 1000, false}, {16, 1015, false}, {16, 1016, true}, {16, 1017, false},
        {16, 1040, true},  {16, 5000, true},  {16, 4990, true},  // a clock that went back counts as time passed
        {16, 4991, false}, {16, 5006, true},
        {5, 7, true},      {5, 11, false},    {5, 12, true},     {5, 12, false},   {5, 20, true},
    };
    IntervalGate repaint(16), pump(5);
    for (const auto& step : steps)
        EXPECT_EQ((step.interval == 16 ? repaint : pump).Admit(step.now), step.admitted)
            << step.interval << " " << step.now;
}

TEST(IntervalGate, FirstTimeAlwaysAdmitted) {
    for (uint64_t now : {0ull, 1ull, 0xFFFFFFFFFFFFFFFFull}) {
        IntervalGate gate(kRepaintMilliseconds);
        EXPECT_TRUE(gate.Admit(now)) << now;
    }
}

// A fake sink: records the texts shown and the pumps and stops on request.
class RecordingSink : public ProgressSink {
public:
    RecordingSink() : previous_(SetProgressSink(this)) {}
    ~RecordingSink() override { SetProgressSink(previous_); }
    void Show(const ProgressTexts& texts) override { shown.push_back(std::string(texts.part(2))); }
    bool TakesProgress(uint32_t window) override { return window == kGoodWindow; }
    void Pump() override { ++pumps; }
    bool StopRequested() override { return stop; }

    static constexpr uint32_t kGoodWindow = 0x1234;
    std::vector<std::string> shown;
    int pumps = 0;
    bool stop = false;

private:
    ProgressSink* previous_;
};

PortRecord Carrier(uint32_t window) {
    PortRecord record{};
    record.StatusWindow = window;
    SetText(record.FunctionName, "SerialPort_Enum");
    SetText(record.StatusText1, "Scanning");
    return record;
}

TEST(ProgressDispatch, BurstShowsFirstAndLastAndPumpsEveryReport) {
    RecordingSink sink;
    PortRecord record = Carrier(RecordingSink::kGoodWindow);
    constexpr int kReports = 200;
    {
        ProgressBurst burst;
        for (int i = 0; i < kReports; ++i) {
            SetText(record.StatusText2, " entry " + std::to_string(i));
            ProgressUpdate(record);
        }
        ASSERT_FALSE(sink.shown.empty());
        EXPECT_EQ(sink.shown.front(), " entry 0") << "the first report repaints at once";
    }
    EXPECT_GE(sink.pumps, 1) << "messages still run during the step";
    EXPECT_LT(sink.pumps, kReports) << "reports within 5 ms share a look at the queue";
    EXPECT_LT(sink.shown.size(), static_cast<size_t>(kReports) / 2) << "reports within 16 ms share a repaint";
    EXPECT_EQ(sink.shown.back(), " entry 199") << "the step ends showing its last entry";
}

TEST(ProgressDispatch, OutsideABurstAndPerStepReportsShowAtOnce) {
    RecordingSink sink;
    PortRecord record = Carrier(RecordingSink::kGoodWindow);
    for (int i = 0; i < 3; ++i) {
        SetText(record.StatusText2, std::to_string(i));
        ProgressUpdate(record);
    }
    {
        ProgressBurst burst;
        for (int i = 0; i < 3; ++i) ReportStep(record, "SerialPort_Get_Type", "step");
        ProgressBurst inner;  // does not take over, and shows nothing of its own
    }
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"0", "1", "2", " ", " ", " "}));
    EXPECT_EQ(sink.pumps, 6);
}

TEST(ProgressDispatch, NoWindowShowsNothingButStillPumps) {
    RecordingSink sink;
    PortRecord record = Carrier(0);
    ProgressUpdate(record);
    ReportStep(record, "SerialPort_Get_Type", "step");  // no window: no report at all
    {
        ProgressBurst burst;
        ProgressUpdate(record);
    }
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(sink.pumps, 2) << "outside a burst every report looks; the burst's first report too";
    EXPECT_TRUE(TextEmpty(record.StatusText2));
}

TEST(ProgressDispatch, WindowsAndStopGoThroughTheSink) {
    RecordingSink sink;
    EXPECT_TRUE(ProgressWindowTaken(RecordingSink::kGoodWindow));
    EXPECT_FALSE(ProgressWindowTaken(0xFFFF));
    EXPECT_FALSE(ScanStopRequested());
    sink.stop = true;
    EXPECT_TRUE(ScanStopRequested());
}

TEST(ProgressDispatch, WithoutASinkNothingHappens) {
    ProgressSink* previous = SetProgressSink(nullptr);
    PortRecord record = Carrier(0x1234);
    ProgressUpdate(record);
    ReportStep(record, "SerialPort_Get_Type", "step");
    EXPECT_FALSE(ProgressWindowTaken(0x1234));
    EXPECT_FALSE(ScanStopRequested());
    SetProgressSink(previous);
}

}  // namespace
