#include "cli/load_record.h"

#include "cli/json_events.h"
#include "loader/run_result.h"
#include "platform/device_path.h"
#include "platform/port_listing.h"

#include <cstdio>

using Json = nlohmann::ordered_json;

namespace {

// The civil date of a day count from 1970-01-01 (the proleptic Gregorian calendar, in eras of
// 400 years), computed here because gmtime is not the same call on every system.
void CivilDate(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153; // from March
    *day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    *month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

} // namespace

std::string IsoTimeUtc(std::chrono::system_clock::time_point time) {
    const int64_t ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const int64_t msPerDay = 86400000;
    int64_t days = ms / msPerDay;
    int64_t inDay = ms % msPerDay;
    if (inDay < 0) {
        inDay += msPerDay;
        --days;
    }
    int64_t year = 0;
    int month = 0, day = 0;
    CivilDate(days, &year, &month, &day);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d.%03dZ",
                  static_cast<long long>(year), month, day, static_cast<int>(inDay / 3600000),
                  static_cast<int>(inDay / 60000 % 60), static_cast<int>(inDay / 1000 % 60),
                  static_cast<int>(inDay % 1000));
    return text;
}

std::string LoadRecordLine(const LoadRecord& r) {
    Json object{{"time", IsoTimeUtc(r.time)},
                {"station", r.station},
                {"port", r.port},
                {"device", r.device},
                {"adapter", r.adapter.empty() ? Json(nullptr) : Json(r.adapter)},
                {"file", r.file},
                {"sha256", r.sha256},
                {"bytes", r.bytes},
                {"blocks", r.blocks},
                {"baud", r.baud > 0 ? Json(r.baud) : Json(nullptr)},
                {"seconds", JsonNumber(r.seconds, 3)},
                {"exit_code", r.exitCode},
                {"message", r.message}};
    if (r.board > 0) {
        object["board"] = r.board;
    }
    object["tool"] = "tovik-cli " TOVIK_VERSION;
    return JsonLine(object);
}

void SetRecordDevice(const std::string& devicePath, LoadRecord* record) {
    // A device gone by now (a lost port, a board taken out) is named as it was opened.
    const std::string resolved = ResolvedDevicePath(devicePath);
    record->device = resolved.empty() ? devicePath : resolved;
    record->adapter = resolved.empty() ? std::string() : SerialByIdName(resolved);
}

void SetRecordResult(int exitCode, const std::string& message, const CRunResult* result,
                     LoadRecord* record) {
    record->time = std::chrono::system_clock::now();
    record->exitCode = exitCode;
    record->message = message;
    if (result != nullptr) {
        record->bytes = result->m_nBytesWritten;
        record->blocks = result->m_nBlocksWritten;
        record->baud = result->m_nAnsweredRate;
    }
}
