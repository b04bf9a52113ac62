#pragma once
// A fixed name for the device's port: the slave path changes with every run, the link does not.

#include <string>

namespace sim {

// Makes `link` a symlink to `target`, replacing whatever was there in one step.
bool PointLinkAt(const std::string& link, const std::string& target, std::string* error);

// Removes `link` if it still points at `target`; a link someone else has taken over stays.
void RemoveLinkTo(const std::string& link, const std::string& target);

} // namespace sim
