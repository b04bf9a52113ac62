#pragma once
// Picking a station's events out of its --json lines as they come, without a JSON reader: the
// tests and the benchmark watch the output of a station that still runs, line by line.

#include <string>

// Whether the line is this event of this slot's board; board 0: any board.
inline bool IsStationEvent(const std::string& line, const std::string& event,
                           const std::string& port, int board) {
    const auto has = [&line](const std::string& part) {
        return line.find(part) != std::string::npos;
    };
    const std::string number = "\"board\":" + std::to_string(board);
    return has("\"event\":\"" + event + "\"") && has("\"port\":\"" + port + "\"") &&
           (board == 0 || has(number + ",") || has(number + "}"));
}
