// The names a backup entry carries: calls and messages name their other
// party in `contact_name`; a group MMS lists its parties in `address`
// (separated by '~') and their names in the same order in `contact_name`
// (separated by ", ").  The names are as written, placeholders included:
// what makes a name worth keeping is the people layer's business.
#ifndef LIFELOG_TOOL_BACKUP_NAMES_H
#define LIFELOG_TOOL_BACKUP_NAMES_H

#include <string>
#include <utility>
#include <vector>

#include "backup/xml_reader.h"

namespace lifelog_tool {

// (number, name) pairs of the entry; none when it names no one, or when a
// group's names cannot be matched to its numbers.
std::vector<std::pair<std::string, std::string>> entryNames(const XmlEntry& entry);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BACKUP_NAMES_H
