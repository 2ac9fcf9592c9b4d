// Child processes for command-line tests under Windows: CreateProcess with
// pipes for the three channels. The text channels' CRLF line ends are read
// back as LF, so that tests compare the same text as on Linux.
#include "testkit/run.hpp"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace testkit {
namespace {

// One argument quoted so that the child's runtime splits it back unchanged:
// backslashes count only before a quote.
std::string quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, '\\');
    quoted.push_back('"');
    return quoted;
}

// The name of a "NAME=value" entry; the "=C:=C:\..." entries of the drives'
// folders start with their "=".
std::string name_of(const std::string& entry) {
    return entry.substr(0, entry.find('=', 1));
}

bool same_name(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// This process's environment with the options' changes, as CreateProcess
// takes it: "NAME=value" entries, each ended by a NUL, and a NUL at the end.
std::string environment_block(const RunOptions& options) {
    std::vector<std::string> entries;
    char* strings = GetEnvironmentStringsA();
    for (const char* p = strings; p && *p; p += std::strlen(p) + 1) entries.emplace_back(p);
    if (strings) FreeEnvironmentStringsA(strings);
    auto drop = [&](const std::string& name) {
        std::erase_if(entries, [&](const std::string& e) { return same_name(name_of(e), name); });
    };
    for (const auto& name : options.unset_env) drop(name);
    for (const auto& [name, value] : options.env) {
        drop(name);
        entries.push_back(name + "=" + value);
    }
    std::string block;
    for (const auto& e : entries) block.append(e).push_back('\0');
    block.push_back('\0');
    return block;
}

std::string without_cr(const std::string& text) {
    std::string lf;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf.push_back(text[i]);
    return lf;
}

void drain(HANDLE pipe, std::string& into) {
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buf, sizeof buf, &got, nullptr) && got > 0) into.append(buf, got);
}

// The handles of one child's three channels: the child's ends are
// inherited, this process's are not.
struct Pipes {
    HANDLE child[3] = {};   // standard input, output, error
    HANDLE parent[3] = {};  // the other end of each
    Pipes() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        for (int i = 0; i < 3; ++i) {
            HANDLE read_end, write_end;
            if (!CreatePipe(&read_end, &write_end, &inherit, 0)) throw std::runtime_error("CreatePipe");
            child[i] = i == 0 ? read_end : write_end;
            parent[i] = i == 0 ? write_end : read_end;
            SetHandleInformation(parent[i], HANDLE_FLAG_INHERIT, 0);
        }
    }
    ~Pipes() {
        close_children();
        for (HANDLE& h : parent) close(h);
    }
    void close_children() {
        for (HANDLE& h : child) close(h);
    }
    static void close(HANDLE& h) {
        if (h) CloseHandle(h);
        h = nullptr;
    }
};

}  // namespace

RunResult run_program(const std::string& path, const std::vector<std::string>& args, const RunOptions& options) {
    Pipes pipes;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipes.child[0];
    startup.hStdOutput = pipes.child[1];
    startup.hStdError = pipes.child[2];
    std::string command = quote(options.argv0.empty() ? path : options.argv0);
    for (const auto& a : args) command += " " + quote(a);
    std::string environment = environment_block(options);
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    DWORD error = 0;
    // Under a busy Wine a start can fail with an internal error now and
    // then, the program never having run: tried again, a few times.
    for (int attempt = 0; attempt < 5; ++attempt) {
        started = CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, environment.data(), nullptr,
                                 &startup, &process);
        error = started ? 0 : GetLastError();
        if (started || error != ERROR_INTERNAL_ERROR) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    pipes.close_children();
    if (!started) throw std::runtime_error("cannot start " + path + ": error " + std::to_string(error));
    RunResult result;
    std::thread out(drain, pipes.parent[1], std::ref(result.out));
    std::thread err(drain, pipes.parent[2], std::ref(result.err));
    // A child may stop reading its input early: the rest is dropped.
    for (std::size_t written = 0; written < options.input.size();) {
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(options.input.size() - written, 65536));
        if (!WriteFile(pipes.parent[0], options.input.data() + written, want, &put, nullptr)) break;
        written += put;
    }
    Pipes::close(pipes.parent[0]);
    out.join();
    err.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // An exception (a crash) ends a process with its NTSTATUS, 0xC0000005 and such.
    result.status = code >= 0xC0000000u ? -1 : static_cast<int>(code);
    result.out = without_cr(result.out);
    result.err = without_cr(result.err);
    return result;
}

bool running_as_root() {
    return false;
}

}  // namespace testkit
