#include "scan/port_tasks.h"

#include <algorithm>
#include <mutex>

#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "scan/owner_port_reads.h"
#include "scan/progress.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/module_hold.h"

namespace kestrune {

// Shared by the caller and one worker thread.
struct TaskBlock {
    std::mutex lock;
    UniqueHandle go{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // manual: the caller both waits and looks
    PortRecord copy{};
    PortWork work = nullptr;      // the task under way; null while idle
    PortWork lateReturn = nullptr;
    bool stop = false;
    bool abandoned = false;
};

struct PortTaskPool::Slot {
    std::shared_ptr<TaskBlock> block;
    UniqueHandle thread;
    PortRecord* record = nullptr;  // the caller's record of the task under way
    std::size_t index = 0;
    uint64_t started = 0;
};

namespace {

DWORD WINAPI WorkerMain(void* parameter) {
    ModuleHold hold;
    OwnerReadScope ownerReads;  // reads through an owner's duplicate: one bounded worker each
    std::unique_ptr<std::shared_ptr<TaskBlock>> owned(static_cast<std::shared_ptr<TaskBlock>*>(parameter));
    const std::shared_ptr<TaskBlock> block = *owned;
    owned.reset();
    for (;;) {
        WaitForSingleObject(block->go.get(), INFINITE);
        PortWork work;
        {
            std::lock_guard<std::mutex> guard(block->lock);
            if (block->stop) return 0;
            work = block->work;
        }
        if (work) work(block->copy);
        {
            std::lock_guard<std::mutex> guard(block->lock);
            block->work = nullptr;
            if (block->abandoned) {
                // Given up: the caller has gone on without this record. Close what the task
                // opened and end; nobody else touches the copy.
                if (block->lateReturn) block->lateReturn(block->copy);
                return 0;
            }
        }
        SetEvent(block->done.get());
    }
}

}  // namespace

void MarkGivenUp(PortRecord& record) {
    record.RtHandle = 0;
    record.WinHandle = 0;
    record.DupObjHandle = 0;
    record.DupObjAddress = 0;
    SetText(record.Status, kStatusDisconnected);
    ResetChannelError();
    SetLastError(ERROR_TIMEOUT);
    CaptureErrors(record);
    SetLastError(0);
}

PortTaskPool::PortTaskPool(const PortTaskOptions& options) : options_(options) {
    if (options_.workers == 0) options_.workers = 1;
}

PortTaskPool::~PortTaskPool() {
    for (auto& slot : slots_) {
        if (!slot->thread) continue;
        {
            std::lock_guard<std::mutex> guard(slot->block->lock);
            slot->block->stop = true;
        }
        SetEvent(slot->block->go.get());
        WaitForSingleObject(slot->thread.get(), 1000);
    }
}

bool PortTaskPool::Start(Slot& slot, PortRecord& record, PortWork work) {
    if (!slot.thread) {
        slot.block = std::make_shared<TaskBlock>();
        slot.block->lateReturn = options_.lateReturn;
        if (!slot.block->go || !slot.block->done) return false;
        auto* parameter = new std::shared_ptr<TaskBlock>(slot.block);
        slot.thread.reset(CreateThread(nullptr, 0, WorkerMain, parameter, 0, nullptr));
        if (!slot.thread) {
            delete parameter;
            return false;
        }
        ++started_;
    }
    {
        std::lock_guard<std::mutex> guard(slot.block->lock);
        slot.block->copy = record;
        slot.block->copy.StatusWindow = 0;
        slot.block->work = work;
    }
    ResetEvent(slot.block->done.get());
    slot.record = &record;
    slot.started = GetTickCount64();
    SetEvent(slot.block->go.get());
    return true;
}

std::vector<bool> PortTaskPool::RunAll(std::vector<PortRecord>& records, PortWork work, bool stopsOnRequest,
                                       std::size_t atOnce) {
    std::vector<bool> answered(records.size(), true);
    while (slots_.size() < options_.workers) slots_.push_back(std::make_unique<Slot>());
    const std::size_t limit = atOnce == 0 ? slots_.size() : std::min(atOnce, slots_.size());
    std::size_t next = 0;
    std::size_t busy = 0;
    for (;;) {
        if (stopsOnRequest && ScanStopRequested()) next = records.size();
        // A task that has run past kSlowTaskMilliseconds waits on its driver: it no longer
        // holds back the next task, which gets a worker of its own.
        const uint64_t started = GetTickCount64();
        std::size_t working = 0;
        for (auto& slot : slots_)
            if (slot->record && started - slot->started < kSlowTaskMilliseconds) ++working;
        while (next < records.size() && working < limit) {
            Slot* free = nullptr;
            for (auto& slot : slots_)
                if (!slot->record) {
                    free = slot.get();
                    break;
                }
            if (!free) {
                slots_.push_back(std::make_unique<Slot>());
                free = slots_.back().get();
            }
            free->index = next++;
            if (Start(*free, records[free->index], work)) {
                ++busy;
                ++working;
            } else {
                work(records[free->index]);  // no thread to be had: run it here, unbounded
                free->record = nullptr;
            }
        }
        if (busy == 0) break;

        // Wait for any task, at most 10 ms, then let the window breathe.
        std::vector<HANDLE> events;
        for (auto& slot : slots_)
            if (slot->record) events.push_back(slot->block->done.get());
        WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, 10);
        PumpProgressMessages(options_.progressWindow);

        const uint64_t now = GetTickCount64();
        for (auto& slot : slots_) {
            if (!slot->record) continue;
            bool finished = WaitForSingleObject(slot->block->done.get(), 0) == WAIT_OBJECT_0;
            if (!finished && now - slot->started >= options_.boundMilliseconds) {
                bool answeredJustNow;
                {
                    std::lock_guard<std::mutex> guard(slot->block->lock);
                    answeredJustNow = slot->block->work == nullptr;
                    if (!answeredJustNow) slot->block->abandoned = true;
                }
                // The worker signals right after it let go of the lock.
                if (answeredJustNow) finished = WaitForSingleObject(slot->block->done.get(), INFINITE) == WAIT_OBJECT_0;
            }
            if (finished) {
                const uint32_t window = slot->record->StatusWindow;
                *slot->record = slot->block->copy;
                slot->record->StatusWindow = window;
            } else if (slot->block->abandoned) {
                answered[slot->index] = false;
                slot->thread.reset();  // the worker ends on its own once the call returns
                slot->block.reset();
            } else {
                continue;
            }
            slot->record = nullptr;
            --busy;
        }
    }
    return answered;
}

}  // namespace kestrune
