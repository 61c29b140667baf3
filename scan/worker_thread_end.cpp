#include "scan/worker_thread_end.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace kestrune {

namespace {

struct LingeringWorker {
    UniqueHandle thread;
    std::shared_ptr<void> job;
    ModuleHold hold;
};

struct LingeringTable {
    std::mutex lock;
    std::vector<std::unique_ptr<LingeringWorker>> workers;
};

LingeringTable& Table() {
    static LingeringTable* table = new LingeringTable;  // lives until the process ends
    return *table;
}

}  // namespace

void KeepLingeringWorker(UniqueHandle thread, std::shared_ptr<void> job) {
    if (!thread) return;
    auto worker = std::make_unique<LingeringWorker>();
    worker->thread = std::move(thread);
    worker->job = std::move(job);
    LingeringTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.workers.push_back(std::move(worker));
}

long LingeringWorkers() {
    LingeringTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto& workers = table.workers;
    workers.erase(std::remove_if(workers.begin(), workers.end(),
                                 [](const std::unique_ptr<LingeringWorker>& worker) {
                                     return WaitForSingleObject(worker->thread.get(), 0) == WAIT_OBJECT_0;
                                 }),
                  workers.end());
    return static_cast<long>(workers.size());
}

}  // namespace kestrune
