#pragma once
// Runs the tovik-sim program as a separate process for end-to-end tests and reads the slave path
// it announces. The process is ended (SIGTERM, then waited for) when the object goes.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class SimProcess {
public:
    // runUnder: a command that runs the device for it (setpriv ... to run it as another user).
    explicit SimProcess(const std::vector<std::string>& options,
                        const std::vector<std::string>& runUnder = {}) {
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<std::string> words = runUnder;
            words.push_back(TOVIK_SIM_PATH);
            words.insert(words.end(), options.begin(), options.end());
            std::vector<char*> argv;
            for (std::string& w : words) {
                argv.push_back(w.data());
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            std::_Exit(127);
        }
        ::close(out[1]);
        m_out = ::fdopen(out[0], "r");
        char line[512];
        if (m_out && std::fgets(line, sizeof line, m_out)) {
            std::string text = line;
            if (text.rfind("READY ", 0) == 0) {
                m_slavePath = text.substr(6, text.find_last_not_of("\r\n") - 5);
            }
        }
    }
    ~SimProcess() { Stop(); }

    const std::string& SlavePath() const { return m_slavePath; }

    // Ends the device (it writes its dump on the way out) and returns its exit status.
    int Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, &m_status, 0);
            m_pid = -1;
        }
        if (m_out) {
            std::fclose(m_out);
            m_out = nullptr;
        }
        return m_status;
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
    FILE* m_out = nullptr;
    std::string m_slavePath;
};

// Runs a shell command and returns its exit status.
inline int RunCommand(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
