// Child processes on Windows: CreateProcess with anonymous pipes for standard output and error.
//
// Anonymous pipes cannot be waited on together, so the parent looks at each with PeekNamedPipe and
// sleeps a little between looks. The child is a console process group of its own, which keeps the
// console's Ctrl-C from it; Interrupt() sends it a Ctrl-Break, which tovik-cli takes as Ctrl-C.

#include "platform/child_process.h"

#include "platform/unique_handle_win32.h"

#include <windows.h>

#include <algorithm>

struct CChildProcess::Impl {
    CUniqueHandle process;
    DWORD id = 0;
    bool ended = false;
    int exitCode = -1;
    int interrupts = 0; // sent so far
    CUniqueHandle out;
    CUniqueHandle err;
};

namespace {

// The job of every child this process starts: its handle closes when this process ends, however
// it ends, and then the system ends the children still in it. Null when it cannot be made.
HANDLE ChildrenJob() {
    static const HANDLE job = [] {
        HANDLE made = ::CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made != nullptr && !::SetInformationJobObject(made, JobObjectExtendedLimitInformation,
                                                          &limits, sizeof limits)) {
            ::CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

constexpr int kLookIntervalMs = 10;

std::string LastErrorText() {
    char* text = nullptr;
    const DWORD code = ::GetLastError();
    ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = text ? text : "error " + std::to_string(code);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
        result.pop_back();
    }
    return result;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds blanks
// or quotes, with backslashes doubled only where they come before a quote.
std::string QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

void Drain(CUniqueHandle& pipe, std::string* text) {
    while (pipe.IsValid()) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            pipe.Reset(); // broken: the child's end is closed
            return;
        }
        if (available == 0) {
            return;
        }
        char buffer[4096];
        DWORD got = 0;
        if (!::ReadFile(pipe.Get(), buffer, std::min<DWORD>(available, sizeof buffer), &got,
                        nullptr) ||
            got == 0) {
            pipe.Reset();
            return;
        }
        text->append(buffer, got);
    }
}

bool MakePipe(CUniqueHandle& readEnd, CUniqueHandle& writeEnd) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!::CreatePipe(&r, &w, &inherit, 0)) {
        return false;
    }
    readEnd.Reset(r);
    writeEnd.Reset(w);
    // Only the child's end is inherited.
    return ::SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0) != 0;
}

} // namespace

CChildProcess::CChildProcess() : m_impl(std::make_unique<Impl>()) {}

CChildProcess::~CChildProcess() {
    if (m_impl->process.IsValid() && !m_impl->ended) {
        if (m_impl->interrupts == 0) {
            Interrupt();
        }
        ::WaitForSingleObject(m_impl->process.Get(), INFINITE);
    }
}

bool CChildProcess::Start(const std::vector<std::string>& argv, std::string* error) {
    CUniqueHandle outWrite, errWrite;
    if (argv.empty() || !MakePipe(m_impl->out, outWrite) || !MakePipe(m_impl->err, errWrite)) {
        *error = argv.empty() ? "no program given" : LastErrorText();
        return false;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CUniqueHandle nul(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, OPEN_EXISTING, 0, nullptr));
    std::string commandLine;
    for (const std::string& a : argv) {
        commandLine += (commandLine.empty() ? "" : " ") + QuoteArgument(a);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errWrite.Get();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(argv[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info)) {
        *error = argv[0] + ": " + LastErrorText();
        m_impl->out.Reset();
        m_impl->err.Reset();
        return false;
    }
    // A parent that is killed takes its children with it: a station's slot left behind would
    // search its port without end.
    ::AssignProcessToJobObject(ChildrenJob(), info.hProcess);
    ::CloseHandle(info.hThread);
    m_impl->process.Reset(info.hProcess);
    m_impl->id = info.dwProcessId;
    return true;
}

void CChildProcess::Read(std::string* out, std::string* err) {
    Drain(m_impl->out, out);
    Drain(m_impl->err, err);
}

bool CChildProcess::OutputEnded() const {
    return !m_impl->out.IsValid() && !m_impl->err.IsValid();
}

void CChildProcess::Interrupt() {
    if (m_impl->process.IsValid() && !m_impl->ended) {
        // Each event calls the handler anew: nothing here merges two into one.
        ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, m_impl->id);
        ++m_impl->interrupts;
    }
}

bool CChildProcess::Ended(int* exitCode) {
    if (m_impl->process.IsValid() && !m_impl->ended &&
        ::WaitForSingleObject(m_impl->process.Get(), 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(m_impl->process.Get(), &code);
        m_impl->ended = true;
        m_impl->exitCode = static_cast<int>(code);
    }
    if (m_impl->ended) {
        *exitCode = m_impl->exitCode;
    }
    return m_impl->ended;
}

void CChildProcess::WaitForOutput(const std::vector<CChildProcess*>& children, int ms) {
    // Returns as soon as one pipe has something; otherwise looks again every few milliseconds.
    for (int waited = 0; waited < ms; waited += kLookIntervalMs) {
        for (CChildProcess* child : children) {
            for (const CUniqueHandle* pipe : {&child->m_impl->out, &child->m_impl->err}) {
                DWORD available = 0;
                if (pipe->IsValid() &&
                    (!::PeekNamedPipe(pipe->Get(), nullptr, 0, nullptr, &available, nullptr) ||
                     available > 0)) {
                    return;
                }
            }
        }
        ::Sleep(static_cast<DWORD>(std::min(kLookIntervalMs, ms - waited)));
    }
}

std::string OwnProgramPath() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

void RememberParent() {}

bool ParentGone() {
    return false;
}
