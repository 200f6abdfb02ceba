// The backup writer.
#include "backup/xml_writer.h"

#include "backup/xml_reader.h"

namespace lifelog_tool {

std::string escapeAttribute(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default: {
                size_t length = utf8SequenceLength(text.substr(i));
                if (length == 0 || (length == 1 && static_cast<unsigned char>(c) < 0x20)) {
                    out += "\xEF\xBF\xBD";  // U+FFFD
                    ++i;
                } else {
                    out.append(text.substr(i, length));
                    i += length;
                }
                continue;
            }
        }
        ++i;
    }
    return out;
}

XmlWriter::XmlWriter(std::ostream& out) : out_(out) {
    out_ << "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n";
}

void XmlWriter::start(std::string_view name, const XmlAttributes& attributes) {
    out_ << std::string(static_cast<size_t>(depth_) * 2, ' ') << '<' << name;
    for (const auto& [key, value] : attributes) {
        out_ << ' ' << key << "=\"" << escapeAttribute(value) << '"';
    }
}

void XmlWriter::open(std::string_view name, const XmlAttributes& attributes) {
    start(name, attributes);
    out_ << ">\n";
    ++depth_;
}

void XmlWriter::leaf(std::string_view name, const XmlAttributes& attributes) {
    start(name, attributes);
    out_ << " />\n";
}

void XmlWriter::close(std::string_view name) {
    --depth_;
    out_ << std::string(static_cast<size_t>(depth_) * 2, ' ') << "</" << name << ">\n";
}

}  // namespace lifelog_tool
