// Writing call-log and message backups in the backup apps' XML: escaping
// that expat reads back to the same text, and indented elements.
#ifndef LIFELOG_TOOL_BACKUP_XML_WRITER_H
#define LIFELOG_TOOL_BACKUP_XML_WRITER_H

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lifelog_tool {

// `text` as an attribute value between double quotes: markup characters as
// entities, tab, line feed and carriage return as character references (an
// XML reader would otherwise turn them into blanks), and what XML cannot
// carry at all (other control characters, bytes that are not UTF-8) as
// U+FFFD.
std::string escapeAttribute(std::string_view text);

using XmlAttributes = std::vector<std::pair<std::string_view, std::string>>;

class XmlWriter {
public:
    explicit XmlWriter(std::ostream& out);
    // <name a="1" ...> on a line of its own, one level deeper afterwards.
    void open(std::string_view name, const XmlAttributes& attributes);
    // <name a="1" ... />
    void leaf(std::string_view name, const XmlAttributes& attributes);
    void close(std::string_view name);

private:
    void start(std::string_view name, const XmlAttributes& attributes);

    std::ostream& out_;
    int depth_ = 0;
};

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BACKUP_XML_WRITER_H
