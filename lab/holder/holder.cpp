// holder.exe - holds a serial port open, as another program on the machine would.
//
// Usage: holder.exe PORT [options]
//   PORT                 COM3 or \\.\COM3; opened with CreateFileA, share mode 0
//   --baud N             line settings applied with SetCommState
//   --data 5|6|7|8
//   --parity n|o|e|m|s
//   --stop 1|1.5|2
//   --dtr on|off         DTR/RTS driven with EscapeCommFunction after the settings
//   --rts on|off
//   --ready-event NAME   named event set once the port is held
//   --ready-file PATH    file written once the port is held: "pid=N\r\nport=COMn\r\n",
//                        or "error=N\r\n" when the port cannot be held
//   --stop-event NAME    hold until this named event is set
//   --stdin              hold until standard input reaches end of file
//   --view-event NAME    while holding, each time this named event is set: the holder's own
//   --view-file PATH     view of its port goes to PATH ("baud=N data=N parity=N stop=N
//                        dtr=N rts=N modem=N": GetCommState's codes and DTR/RTS control, the
//                        GetCommModemStatus word), then the event NAME.done is set
// With neither --stop-event nor --stdin the port is held until the process is killed.
// Once the port is held one line "holding COMn pid=N" goes to standard output.
// Exit status: 0 stopped normally, 1 bad arguments, 2 open failed, 3 settings failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/handles.h"

namespace {

using Handle = kestrune::UniqueHandle;

struct Options {
    std::string port;
    DWORD baud = 0;
    int data = 0;
    int parity = -1;
    int stop = -1;
    int dtr = -1;
    int rts = -1;
    std::string ready_event, ready_file, stop_event, view_event, view_file;
    bool use_stdin = false;
};

int on_off(const char* s) {
    if (!_stricmp(s, "on") || !strcmp(s, "1")) return 1;
    if (!_stricmp(s, "off") || !strcmp(s, "0")) return 0;
    return -1;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--stdin") {
            o.use_stdin = true;
        } else if (a.rfind("--", 0) == 0) {
            if (!(v = next())) return false;
            if (a == "--baud") {
                o.baud = strtoul(v, nullptr, 10);
                if (!o.baud) return false;
            } else if (a == "--data") {
                o.data = atoi(v);
                if (o.data < 5 || o.data > 8) return false;
            } else if (a == "--parity") {
                const char* p = strchr("noems", tolower(static_cast<unsigned char>(v[0])));
                if (!p || !v[0] || v[1]) return false;
                o.parity = static_cast<int>(p - "noems");
            } else if (a == "--stop") {
                if (!strcmp(v, "1")) o.stop = ONESTOPBIT;
                else if (!strcmp(v, "1.5")) o.stop = ONE5STOPBITS;
                else if (!strcmp(v, "2")) o.stop = TWOSTOPBITS;
                else return false;
            } else if (a == "--dtr") {
                if ((o.dtr = on_off(v)) < 0) return false;
            } else if (a == "--rts") {
                if ((o.rts = on_off(v)) < 0) return false;
            } else if (a == "--ready-event") {
                o.ready_event = v;
            } else if (a == "--ready-file") {
                o.ready_file = v;
            } else if (a == "--stop-event") {
                o.stop_event = v;
            } else if (a == "--view-event") {
                o.view_event = v;
            } else if (a == "--view-file") {
                o.view_file = v;
            } else {
                return false;
            }
        } else if (o.port.empty()) {
            o.port = a;
        } else {
            return false;
        }
    }
    return !o.port.empty();
}

void write_file_atomically(const std::string& path, const std::string& text) {
    std::string tmp = path + ".tmp";
    {
        Handle f(CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f) return;
        DWORD written = 0;
        WriteFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// What the holder itself sees of its port: the settings it applied and the lines.
std::string own_view(HANDLE port) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    DWORD modem = 0;
    if (!GetCommState(port, &dcb)) return "error=" + std::to_string(GetLastError()) + "\r\n";
    if (!GetCommModemStatus(port, &modem)) modem = 0xFFFFFFFFu;
    char text[160];
    std::snprintf(text, sizeof text, "baud=%lu data=%u parity=%u stop=%u dtr=%u rts=%u modem=%lu\r\n",
                  static_cast<unsigned long>(dcb.BaudRate), dcb.ByteSize, dcb.Parity, dcb.StopBits,
                  static_cast<unsigned>(dcb.fDtrControl), static_cast<unsigned>(dcb.fRtsControl),
                  static_cast<unsigned long>(modem));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: holder.exe PORT [--baud N] [--data N] [--parity n|o|e|m|s] [--stop 1|1.5|2]\n"
                     "       [--dtr on|off] [--rts on|off] [--ready-event NAME] [--ready-file PATH]\n"
                     "       [--stop-event NAME] [--stdin] [--view-event NAME --view-file PATH]\n");
        return 1;
    }
    std::string name = o.port;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    std::string path = "\\\\.\\" + name;

    Handle stop_event;
    if (!o.stop_event.empty()) stop_event.reset(CreateEventA(nullptr, TRUE, FALSE, o.stop_event.c_str()));

    Handle port(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!port) {
        DWORD err = GetLastError();
        std::printf("error %s %lu\n", name.c_str(), static_cast<unsigned long>(err));
        std::fflush(stdout);
        if (!o.ready_file.empty()) write_file_atomically(o.ready_file, "error=" + std::to_string(err) + "\r\n");
        return 2;
    }

    if (o.baud || o.data || o.parity >= 0 || o.stop >= 0 || o.dtr >= 0 || o.rts >= 0) {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        bool ok = GetCommState(port.get(), &dcb) != 0;
        if (ok) {
            if (o.baud) dcb.BaudRate = o.baud;
            if (o.data) dcb.ByteSize = static_cast<BYTE>(o.data);
            if (o.parity >= 0) {
                dcb.Parity = static_cast<BYTE>(o.parity);
                dcb.fParity = o.parity != NOPARITY;
            }
            if (o.stop >= 0) dcb.StopBits = static_cast<BYTE>(o.stop);
            if (o.dtr >= 0) dcb.fDtrControl = o.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
            if (o.rts >= 0) dcb.fRtsControl = o.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
            ok = SetCommState(port.get(), &dcb) != 0;
        }
        if (ok && o.dtr >= 0) ok = EscapeCommFunction(port.get(), o.dtr ? SETDTR : CLRDTR) != 0;
        if (ok && o.rts >= 0) ok = EscapeCommFunction(port.get(), o.rts ? SETRTS : CLRRTS) != 0;
        if (!ok) {
            DWORD err = GetLastError();
            std::printf("error %s settings %lu\n", name.c_str(), static_cast<unsigned long>(err));
            std::fflush(stdout);
            if (!o.ready_file.empty()) write_file_atomically(o.ready_file, "error=" + std::to_string(err) + "\r\n");
            return 3;
        }
    }

    DWORD pid = GetCurrentProcessId();
    std::printf("holding %s pid=%lu\n", name.c_str(), static_cast<unsigned long>(pid));
    std::fflush(stdout);
    if (!o.ready_file.empty())
        write_file_atomically(o.ready_file, "pid=" + std::to_string(pid) + "\r\nport=" + name + "\r\n");
    if (!o.ready_event.empty()) {
        Handle ready(CreateEventA(nullptr, TRUE, FALSE, o.ready_event.c_str()));
        if (ready) SetEvent(ready.get());
    }

    Handle view_event, view_done;
    if (!o.view_event.empty() && !o.view_file.empty()) {
        view_event.reset(CreateEventA(nullptr, FALSE, FALSE, o.view_event.c_str()));
        view_done.reset(CreateEventA(nullptr, FALSE, FALSE, (o.view_event + ".done").c_str()));
    }
    if (stop_event || (view_event && !o.use_stdin)) {
        HANDLE waits[2];
        DWORD count = 0;
        if (stop_event) waits[count++] = stop_event.get();
        if (view_event) waits[count++] = view_event.get();
        for (;;) {
            const DWORD w = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
            if (w >= WAIT_OBJECT_0 + count || waits[w - WAIT_OBJECT_0] == stop_event.get()) break;
            write_file_atomically(o.view_file, own_view(port.get()));
            if (view_done) SetEvent(view_done.get());
        }
    } else if (o.use_stdin) {
        char buf[256];
        DWORD got = 0;
        HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) {
        }
    } else {
        for (;;) Sleep(INFINITE);
    }
    return 0;
}
