#pragma once
// Reading kestrune-scan's outputs back, for the tests: TSV cells unescaped, tables by the
// header's column positions, and the program run with its standard output and error read
// as they come.
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gui/driver/window_driver.h"
#include "support/handles.h"
#include "test_helpers.h"

namespace console_test {

inline std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

// Lines without their CR LF; the empty piece after the last line break is dropped.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines = Split(text, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return lines;
}

// The inverse of the TSV escaping; false on a malformed escape.
inline bool TsvUnescape(const std::string& cell, std::string& out) {
    out.clear();
    for (size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\') {
            out += cell[i];
            continue;
        }
        if (++i == cell.size()) return false;
        switch (cell[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 'x': {
                if (i + 2 >= cell.size()) return false;
                const std::string hex = cell.substr(i + 1, 2);
                if (hex.find_first_not_of("0123456789ABCDEF") != std::string::npos) return false;
                out += static_cast<char>(std::stoi(hex, nullptr, 16));
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return true;
}

using Row = std::map<std::string, std::string>;

// Header and rows of a TSV text, cells still escaped; a row with the wrong number of
// cells gets "<cells>" set.
inline std::vector<Row> ParseTsv(const std::string& text) {
    std::vector<Row> rows;
    const std::vector<std::string> lines = Lines(text);
    if (lines.empty()) return rows;
    const std::vector<std::string> header = Split(lines[0], '\t');
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> cells = Split(lines[i], '\t');
        Row row;
        for (size_t c = 0; c < header.size() && c < cells.size(); ++c) row[header[c]] = cells[c];
        if (cells.size() != header.size()) row["<cells>"] = std::to_string(cells.size());
        rows.push_back(row);
    }
    return rows;
}

// The table's rows by column, each cell cut at the header's column starts and trimmed.
// The summary (the last line before the reservations, or the last line) is left out.
inline std::vector<Row> ParseTable(const std::vector<std::string>& lines) {
    std::vector<Row> rows;
    if (lines.size() < 2) return rows;
    const std::string& header = lines[0];
    std::vector<std::pair<size_t, std::string>> columns;
    for (size_t i = 0; i < header.size(); ++i)
        if (header[i] != ' ' && (i == 0 || header[i - 1] == ' ')) columns.push_back({i, ""});
    for (auto& column : columns) column.second = header.substr(column.first, header.find(' ', column.first) - column.first);
    size_t end = 1;
    while (end < lines.size() && !lines[end].empty()) ++end;  // the reservations follow an empty line
    for (size_t l = 1; l + 1 < end; ++l) {
        Row row;
        for (size_t c = 0; c < columns.size(); ++c) {
            const size_t start = columns[c].first;
            const size_t end = c + 1 < columns.size() ? columns[c + 1].first : std::string::npos;
            std::string cell = start < lines[l].size() ? lines[l].substr(start, end - start) : "";
            while (!cell.empty() && cell.back() == ' ') cell.pop_back();
            row[columns[c].second] = cell;
        }
        rows.push_back(row);
    }
    return rows;
}

// kestrune-scan running with both output streams on pipes, read by threads as they come.
class ConsoleRun {
public:
    explicit ConsoleRun(const std::string& arguments) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
        if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) return;
        kestrune::UniqueHandle outWriter(outWrite), errWriter(errWrite);
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = outWriter.get();
        startup.hStdError = errWriter.get();
        std::string command =
            "\"" + kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/kestrune-scan.exe") + "\" " + arguments;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            CloseHandle(outRead);
            CloseHandle(errRead);
            return;
        }
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        readers_.emplace_back(&ConsoleRun::Read, this, outRead, &out_);
        readers_.emplace_back(&ConsoleRun::Read, this, errRead, &err_);
    }
    ~ConsoleRun() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 99);
        for (std::thread& reader : readers_) reader.join();
    }
    bool started() const { return process_.valid(); }

    // Waits for the end of the program; its exit status, or -1 when it did not end in time.
    int Finish(DWORD timeoutMs = 120000) {
        if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return -1;
        for (std::thread& reader : readers_) reader.join();
        readers_.clear();
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return static_cast<int>(code);
    }
    void Stop() {
        if (process_) TerminateProcess(process_.get(), 99);
    }

    // Waits until standard output holds text after position from; the position where it
    // starts, or npos after timeoutMs.
    size_t WaitFor(const std::string& text, size_t from, DWORD timeoutMs) {
        size_t at = std::string::npos;
        test_helpers::PollUntil([&] {
            std::lock_guard<std::mutex> lock(mutex_);
            return (at = out_.find(text, from)) != std::string::npos;
        }, timeoutMs);
        return at;
    }
    std::string out() {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }
    std::string err() {
        std::lock_guard<std::mutex> lock(mutex_);
        return err_;
    }

private:
    void Read(HANDLE pipe, std::string* into) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got) {
            std::lock_guard<std::mutex> lock(mutex_);
            into->append(buffer, got);
        }
        CloseHandle(pipe);
    }

    kestrune::UniqueHandle process_;
    std::vector<std::thread> readers_;
    std::mutex mutex_;
    std::string out_, err_;
};

// Runs the program to its end: exit status, standard output and standard error.
struct Finished {
    int status = -1;
    std::string out, err;
};
inline Finished RunToEnd(const std::string& arguments) {
    ConsoleRun run(arguments);
    Finished result;
    if (!run.started()) return result;
    result.status = run.Finish();
    result.out = run.out();
    result.err = run.err();
    return result;
}

}  // namespace console_test
