#pragma once
// A fuzz run through Kestrune.dll as a C or script client would meet it: every export and
// every member of the serial-port class, fed with a fixed seed records of random bytes,
// records whose every text is unterminated, all-0xFF records, records whose handle fields
// hold real handles of this program (an event, a file, a thread), and null and misaligned
// pointers. Each call runs on a worker thread the caller watches: a call that does not come
// back within the limit is a hang (the worker is then abandoned and replaced), a fault that
// reaches the top of the worker (or a C++ terminate) is a crash. Afterwards this program's
// handle count and its own handles are checked.
//
// Left out by design: ShowMessage (a message box waits for a click), SerialPort_GetClassNameId
// with a slot (when the class is not registered it runs the registration tool elevated and
// waits for the prompt; it gets a null slot only), DllRegisterServer and DllUnregisterServer
// (no arguments to vary; they change the machine's registration, which the class-server
// tests cover).
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "record/port_record.h"
#include "sysinfo/os_record.h"

namespace fuzz {

struct Figures {
    uint64_t records = 0;
    uint64_t calls = 0;
    uint64_t crashes = 0;
    uint64_t hangs = 0;
    long handleGrowth = 0;
    bool ownHandlesIntact = true;
    std::vector<std::string> faults;  // "<target>: crash|hang <detail>", the first few
};

// One watched call at a time on a worker thread.
class Watchdog {
public:
    explicit Watchdog(DWORD limitMs) : limitMs_(limitMs) {
        instance_ = this;
        SetUnhandledExceptionFilter(Filter);
        previousTerminate_ = std::set_terminate(Terminate);
        Start();
    }
    ~Watchdog() {
        Stop();
        std::set_terminate(previousTerminate_);
        SetUnhandledExceptionFilter(nullptr);
        instance_ = nullptr;
    }
    enum class Outcome { kReturned, kCrashed, kHung };
    Outcome Call(const std::function<void()>& job) {
        job_ = &job;
        crashed_ = false;
        SetEvent(go_);
        HANDLE waits[2] = {done_, thread_};
        const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, limitMs_);
        if (woke == WAIT_OBJECT_0 && !crashed_) return Outcome::kReturned;
        if (woke == WAIT_TIMEOUT) {
            // Abandoned: a thread stuck in a call cannot be ended cleanly.
            TerminateThread(thread_, 0xDEAD);
            WaitForSingleObject(thread_, 5000);
        } else {
            WaitForSingleObject(thread_, 5000);
        }
        Close();
        Start();
        return woke == WAIT_TIMEOUT ? Outcome::kHung : Outcome::kCrashed;
    }
    DWORD lastCode() const { return code_; }

private:
    void Start() {
        go_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        done_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        stop_ = false;
        thread_ = CreateThread(nullptr, 0, Worker, this, 0, &threadId_);
    }
    void Stop() {
        stop_ = true;
        SetEvent(go_);
        if (WaitForSingleObject(thread_, 5000) != WAIT_OBJECT_0) TerminateThread(thread_, 0);
        Close();
    }
    void Close() {
        CloseHandle(thread_);
        CloseHandle(go_);
        CloseHandle(done_);
    }
    static DWORD WINAPI Worker(void* self) {
        auto* dog = static_cast<Watchdog*>(self);
        for (;;) {
            WaitForSingleObject(dog->go_, INFINITE);
            if (dog->stop_) return 0;
            (*dog->job_)();
            SetEvent(dog->done_);
        }
    }
    static LONG WINAPI Filter(EXCEPTION_POINTERS* info) {
        Watchdog* dog = instance_;
        if (!dog || GetCurrentThreadId() != dog->threadId_) return EXCEPTION_CONTINUE_SEARCH;
        dog->code_ = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
        dog->crashed_ = true;
        ExitThread(1);
    }
    static void Terminate() {
        Watchdog* dog = instance_;
        if (dog && GetCurrentThreadId() == dog->threadId_) {
            dog->code_ = 0xE0000001;  // a C++ exception left the library
            dog->crashed_ = true;
            ExitThread(1);
        }
        std::abort();
    }

    static inline Watchdog* instance_ = nullptr;
    std::terminate_handler previousTerminate_ = nullptr;
    DWORD limitMs_;
    HANDLE thread_ = nullptr, go_ = nullptr, done_ = nullptr;
    DWORD threadId_ = 0;
    const std::function<void()>* job_ = nullptr;
    volatile bool stop_ = false, crashed_ = false;
    volatile DWORD code_ = 0;
};

// Record shapes, in the order they take turns.
enum class Shape { kRandom, kUnterminated, kAllFF, kOwnHandles, kNull, kMisaligned, kCount };

// This program's own handles, put into handle fields and checked afterwards.
struct OwnHandles {
    HANDLE event = nullptr, file = nullptr, thread = nullptr;
    DWORD threadId = 0;
    BY_HANDLE_FILE_INFORMATION fileInfo = {};
    std::string filePath;
    static DWORD WINAPI Sleeper(void* stop) {
        WaitForSingleObject(stop, INFINITE);
        return 0;
    }
    explicit OwnHandles(const std::string& folder) {
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        filePath = folder + "\\fuzz-own-file.txt";
        file = CreateFileA(filePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, "own file", 8, &written, nullptr);
        GetFileInformationByHandle(file, &fileInfo);
        thread = CreateThread(nullptr, 0, Sleeper, event, 0, &threadId);
    }
    uint32_t Pick(uint32_t which) const {
        const HANDLE all[3] = {event, file, thread};
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(all[which % 3]));
    }
    // Each handle still names its own object, in the state this program left it.
    bool Intact() const {
        BY_HANDLE_FILE_INFORMATION now = {};
        const bool fileOk = GetFileInformationByHandle(file, &now) && now.nFileIndexLow == fileInfo.nFileIndexLow &&
                            now.nFileIndexHigh == fileInfo.nFileIndexHigh && now.nFileSizeLow == 8;
        const bool eventOk = WaitForSingleObject(event, 0) == WAIT_TIMEOUT;
        const bool threadOk = GetThreadId(thread) == threadId && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
        return fileOk && eventOk && threadOk;
    }
    ~OwnHandles() {
        SetEvent(event);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        CloseHandle(event);
        CloseHandle(file);
        DeleteFileA(filePath.c_str());
    }
};

// Byte images of one argument, shaped by the record's shape.
class Maker {
public:
    Maker(std::mt19937& rng, const OwnHandles& own) : rng_(rng), own_(own) {}
    uint32_t Next() { return static_cast<uint32_t>(rng_()); }

    // A buffer holding size bytes of the shape at an offset of 0 or 1 (misaligned); data()
    // is null for the null shape.
    struct Block {
        std::vector<unsigned char> bytes;
        std::size_t offset = 0;
        bool null = false;
        void* data() { return null ? nullptr : bytes.data() + offset; }
    };
    Block Fill(std::size_t size, Shape shape, std::initializer_list<std::size_t> handleOffsets) {
        Block block;
        block.null = shape == Shape::kNull;
        block.offset = shape == Shape::kMisaligned ? 1 : 0;
        block.bytes.resize(size + 8);
        unsigned char* p = block.bytes.data() + block.offset;
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char random = static_cast<unsigned char>(Next());
            switch (shape) {
                case Shape::kAllFF: p[i] = 0xFF; break;
                case Shape::kUnterminated: p[i] = random ? random : 'A'; break;  // no NUL anywhere
                case Shape::kOwnHandles: p[i] = Next() % 4 ? 0 : random; break;
                default: p[i] = random; break;
            }
        }
        if (shape == Shape::kOwnHandles)
            for (std::size_t at : handleOffsets) {
                const uint32_t value = own_.Pick(Next());
                std::memcpy(p + at, &value, sizeof value);
            }
        return block;
    }
    // A NUL-terminated text of random bytes (a C caller's string), or null now and then.
    std::string Text(std::size_t most = 300) {
        std::string text(Next() % most, '\0');
        for (char& c : text) c = static_cast<char>(1 + Next() % 255);
        return text;
    }
    BSTR Bstr() {
        switch (Next() % 4) {
            case 0: return nullptr;
            case 1: return SysAllocString(L"");
            default: {
                const std::string bytes = Text(600);
                return SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
            }
        }
    }

private:
    std::mt19937& rng_;
    const OwnHandles& own_;
};

}  // namespace fuzz
