// The record behind port_status.h: small, guarded by its own lock so that a front end can ask
// while the worker holds the link lock through a 30 s wait.

#include "serial/port_status.h"

#include <map>
#include <mutex>
#include <set>

namespace {

struct CPortRecord {
    bool lost = false;
    std::string lostReason;
    bool openFailed = false;
    CPortOpenFailure openFailure;
};

struct CPortStatus {
    std::mutex mutex;
    std::map<int, CPortRecord> ports;
    std::set<std::string> noticesGiven;
    std::vector<std::string> noticesWaiting;
};

// Never destroyed: a port may close (and record) during program end.
CPortStatus& Status() {
    static CPortStatus* status = new CPortStatus;
    return *status;
}

} // namespace

bool PortLost(int portIndex, std::string* osReason) {
    CPortStatus& s = Status();
    std::lock_guard<std::mutex> guard(s.mutex);
    auto it = s.ports.find(portIndex);
    if (it == s.ports.end() || !it->second.lost) {
        return false;
    }
    if (osReason) {
        *osReason = it->second.lostReason;
    }
    return true;
}

bool LastPortOpenFailure(int portIndex, CPortOpenFailure* failure) {
    CPortStatus& s = Status();
    std::lock_guard<std::mutex> guard(s.mutex);
    auto it = s.ports.find(portIndex);
    if (it == s.ports.end() || !it->second.openFailed) {
        return false;
    }
    if (failure) {
        *failure = it->second.openFailure;
    }
    return true;
}

std::vector<std::string> TakePortNotices() {
    CPortStatus& s = Status();
    std::lock_guard<std::mutex> guard(s.mutex);
    std::vector<std::string> notices;
    notices.swap(s.noticesWaiting);
    return notices;
}

void RecordPortOpened(int portIndex) {
    CPortStatus& s = Status();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.ports[portIndex] = CPortRecord{};
}

void RecordPortOpenFailure(int portIndex, const CPortOpenFailure& failure) {
    CPortStatus& s = Status();
    std::lock_guard<std::mutex> guard(s.mutex);
    CPortRecord& record = s.ports[portIndex];
    record.openFailed = true;
    record.openFailure = failure;
}

void RecordPortLost(int portIndex, const std::string& reason) {
    CPortStatus& s = Status();
    std::lock_guard<std::mutex> guard(s.mutex);
    CPortRecord& record = s.ports[portIndex];
    record.lost = true;
    record.lostReason = reason;
}

void PostPortNotice(const std::string& text) {
    CPortStatus& s = Status();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (s.noticesGiven.insert(text).second) {
        s.noticesWaiting.push_back(text);
    }
}
