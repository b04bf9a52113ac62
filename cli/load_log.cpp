#include "cli/load_log.h"

#include "cli/cli_options.h"

bool CLoadLog::Open(const CliOptions& options, std::string* error) {
    m_station = options.stationName;
    m_file = options.file;
    if (options.logPath.empty()) {
        return true;
    }
    m_path = options.logPath;
    std::string reason;
    if (!m_log.Open(m_path, &reason)) {
        *error = "cannot write the log " + m_path + ": " + reason;
        return false;
    }
    return true;
}

LoadRecord CLoadLog::NewRecord(const std::string& port) const {
    LoadRecord record;
    record.station = m_station;
    record.port = port;
    record.file = m_file;
    return record;
}

bool CLoadLog::Append(const LoadRecord& record, std::string* error) {
    if (!m_log.IsOpen()) {
        return true;
    }
    std::string reason;
    if (!m_log.Append(LoadRecordLine(record), &reason)) {
        *error = "the record of this load could not be written to " + m_path + ": " + reason;
        return false;
    }
    return true;
}

void CLoadLog::ArmAbruptEnd(const LoadRecord& record) {
    if (m_log.IsOpen()) {
        m_log.ArmAbruptEnd(LoadRecordLine(record));
    }
}

void CLoadLog::Disarm() {
    m_log.DisarmAbruptEnd();
}
