// The backup reader: a byte filter, then expat.
#include "backup/xml_reader.h"

#include <expat.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/text.h"

namespace lifelog_tool {

namespace {

// U+FFFE and U+FFFF are well-formed UTF-8 but no XML characters.
bool isXmlNonCharacter(const Utf8Sequence& sequence) {
    return sequence.status == Utf8Sequence::kValid &&
           (sequence.point == 0xFFFE || sequence.point == 0xFFFF);
}

enum class Reference { None, Incomplete, Found };

// A character reference "&#123;" or "&#x7B;" at the start of `s`.
Reference characterReference(std::string_view s, size_t& length, uint32_t& value) {
    if (s.size() < 2) {
        return Reference::Incomplete;
    }
    if (s[1] != '#') {
        return Reference::None;
    }
    size_t i = 2;
    bool hex = i < s.size() && (s[i] == 'x' || s[i] == 'X');
    if (hex) {
        ++i;
    }
    size_t first = i;
    value = 0;
    for (; i < s.size() && i - first <= 8; ++i) {
        char c = s[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c == ';' && i > first) {
            length = i + 1;
            return Reference::Found;
        } else {
            return Reference::None;
        }
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    return i - first > 8 ? Reference::None : Reference::Incomplete;
}

bool isXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isHighSurrogate(uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Each repair step below takes what starts `in`, appends its repair to
// `out` and returns how many bytes it took; 0 when it needs the bytes that
// come next (never when `last`).

// A character reference: kept, or a surrogate pair joined into the one
// character it stands for, or a marker for what XML does not allow.
size_t repairReference(std::string_view in, bool last, std::string& out) {
    size_t length = 0;
    uint32_t value = 0;
    Reference found = characterReference(in, length, value);
    if (found == Reference::Incomplete && !last) {
        return 0;
    }
    if (found != Reference::Found) {
        out += '&';
        return 1;
    }
    if (isHighSurrogate(value)) {
        size_t lowLength = 0;
        uint32_t low = 0;
        Reference next = characterReference(in.substr(length), lowLength, low);
        if (next == Reference::Incomplete && !last) {
            return 0;
        }
        if (next == Reference::Found && isLowSurrogate(low)) {
            uint32_t joined = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
            char text[16];
            snprintf(text, sizeof text, "&#x%X;", static_cast<unsigned>(joined));
            out += text;
            return length + lowLength;
        }
    }
    if (isXmlChar(value)) {
        out.append(in.substr(0, length));
    } else {
        out += value < 0x20 ? "&#xFDD1;" : "&#xFDD0;";
    }
    return length;
}

// A byte of ASCII: kept, or a marker for a control character.
size_t repairAscii(unsigned char c, std::string& out) {
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
        out += kControlCharMarker;
    } else {
        out += static_cast<char>(c);
    }
    return 1;
}

// A multi-byte sequence: kept when it is UTF-8, else a marker.
size_t repairSequence(std::string_view in, bool last, std::string& out) {
    Utf8Sequence sequence = decodeUtf8(in);
    if (sequence.status == Utf8Sequence::kIncomplete && !last) {
        return 0;
    }
    if (sequence.status == Utf8Sequence::kValid && !isXmlNonCharacter(sequence)) {
        out.append(in.substr(0, sequence.length));
    } else {
        out += kInvalidUtf8Marker;
    }
    return sequence.length;
}

}  // namespace

void Utf8Repair::feed(std::string_view bytes, bool last, std::string& out) {
    pending_.append(bytes);
    std::string_view in = pending_;
    size_t i = 0;
    while (i < in.size()) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        size_t taken = c == '&'   ? repairReference(in.substr(i), last, out)
                       : c < 0x80 ? repairAscii(c, out)
                                  : repairSequence(in.substr(i), last, out);
        if (taken == 0) {
            break;
        }
        i += taken;
    }
    pending_.erase(0, i);
}

void LongValueCut::feed(std::string_view bytes, std::string& out) {
    for (char c : bytes) {
        step(c, out);
    }
}

void LongValueCut::step(char c, std::string& out) {
    switch (state_) {
        case State::Text:
            state_ = c == '<' ? State::Open : State::Text;
            break;
        case State::Open:
            state_ = c == '!' ? State::Bang : c == '?' ? State::Special : State::Tag;
            run_ = 0;
            break;
        case State::Bang:
            state_ = c == '-' ? State::Comment : c == '[' ? State::CData : State::Special;
            run_ = 0;
            break;
        case State::Tag:
            if (c == '"' || c == '\'') {
                state_ = State::Value;
                quote_ = c;
                length_ = 0;
                inReference_ = false;
            } else if (c == '>') {
                state_ = State::Text;
            }
            break;
        case State::Value:
            if (c == quote_) {
                state_ = State::Tag;
            } else if (++length_ > kMaxValue && !inReference_ && (c & 0xC0) != 0x80) {
                state_ = State::Skip;
                ++cuts_;
                return;
            } else {
                inReference_ = c == '&' || (inReference_ && c != ';');
            }
            break;
        case State::Skip:
            if (c != quote_) {
                return;
            }
            state_ = State::Tag;
            break;
        default:
            inSpecial(c);
            break;
    }
    out += c;
}

// Comments end at "-->", CDATA sections at "]]>", processing instructions
// and declarations at the next '>'.
void LongValueCut::inSpecial(char c) {
    char mark = state_ == State::Comment ? '-' : state_ == State::CData ? ']' : 0;
    if (c == '>' && (mark == 0 || run_ >= 2)) {
        state_ = State::Text;
    }
    run_ = c == mark ? run_ + 1 : 0;
}

size_t utf8SequenceLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    Utf8Sequence sequence = decodeUtf8(text);
    return sequence.status == Utf8Sequence::kValid && !isXmlNonCharacter(sequence) ? sequence.length
                                                                                   : 0;
}

const std::string* XmlEntry::attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes) {
        if (key == name) {
            return &value;
        }
    }
    return nullptr;
}

namespace {

struct ParserDelete {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

struct FileClose {
    void operator()(FILE* file) const { fclose(file); }
};

struct Reading {
    XML_Parser parser = nullptr;
    const std::function<bool(const std::string&)>* onRoot = nullptr;
    const std::function<bool(const XmlEntry&)>* onEntry = nullptr;
    XmlScan scan;
    int depth = 0;
    XmlEntry entry;

    void stop() {
        scan.stopped = true;
        XML_StopParser(parser, XML_FALSE);
    }
};

const char* find(const XML_Char** attributes, std::string_view name) {
    for (size_t i = 0; attributes[i] != nullptr; i += 2) {
        if (name == attributes[i]) {
            return attributes[i + 1];
        }
    }
    return nullptr;
}

void XMLCALL startElement(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& r = *static_cast<Reading*>(data);
    int depth = r.depth++;
    if (r.scan.stopped) {
        return;
    }
    if (depth == 0) {
        r.scan.root = name;
        const char* count = find(attributes, "count");
        r.scan.rootCount = count != nullptr ? count : "";
        if (!(*r.onRoot)(r.scan.root)) {
            r.stop();
        }
        return;
    }
    if (depth == 1) {
        r.entry = XmlEntry{};
        r.entry.element = name;
        r.entry.line = static_cast<long>(XML_GetCurrentLineNumber(r.parser));
        for (size_t i = 0; attributes[i] != nullptr; i += 2) {
            r.entry.attributes.emplace_back(attributes[i], attributes[i + 1]);
        }
        return;
    }
    // Below an entry only an <mms>'s parts and addresses count; a part's
    // data (a base64 attachment) is never copied.
    if (r.entry.element != "mms") {
        return;
    }
    std::string_view element = name;
    if (element == "part") {
        const char* type = find(attributes, "ct");
        const char* text = find(attributes, "text");
        if (type != nullptr && std::string_view(type) == "text/plain" && text != nullptr) {
            r.entry.texts.emplace_back(text);
        }
    } else if (element == "addr") {
        const char* address = find(attributes, "address");
        const char* type = find(attributes, "type");
        if (address != nullptr) {
            r.entry.addresses.emplace_back(address, type != nullptr ? type : "");
        }
    }
}

void XMLCALL endElement(void* data, const XML_Char*) {
    auto& r = *static_cast<Reading*>(data);
    if (--r.depth == 1 && !r.scan.stopped) {
        if (!(*r.onEntry)(r.entry)) {
            r.stop();
        }
    }
}

}  // namespace

namespace {

// The file to read, or null with the reason in `scan`.
std::unique_ptr<FILE, FileClose> openBackup(const std::string& path, XmlScan& scan,
                                            uint64_t& size) {
    FILE* file = path == "-" ? fdopen(dup(STDIN_FILENO), "rb") : fopen(path.c_str(), "rb");
    if (file == nullptr) {
        scan.error = strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        fclose(file);
        scan.error = "it is a folder, not a backup file";
        return nullptr;
    }
    size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    return std::unique_ptr<FILE, FileClose>(file);
}

void failAt(Reading& r, const char* error) {
    r.scan.error = error;
    r.scan.errorLine = static_cast<long>(XML_GetCurrentLineNumber(r.parser));
}

}  // namespace

XmlScan readBackup(const std::string& path, const std::function<bool(const std::string&)>& onRoot,
                   const std::function<bool(const XmlEntry&)>& onEntry,
                   const XmlChunkHook& onChunk) {
    Reading r;
    r.onRoot = &onRoot;
    r.onEntry = &onEntry;
    uint64_t size = 0;
    std::unique_ptr<FILE, FileClose> file = openBackup(path, r.scan, size);
    // Backup apps write UTF-8; the filters make sure expat gets nothing else.
    std::unique_ptr<XML_ParserStruct, ParserDelete> parser(file ? XML_ParserCreate("UTF-8")
                                                                : nullptr);
    if (!parser) {
        r.scan.error = file ? "out of memory" : r.scan.error;
        return r.scan;
    }
    r.parser = parser.get();
    XML_SetUserData(r.parser, &r);
    XML_SetElementHandler(r.parser, startElement, endElement);

    Utf8Repair repair;
    LongValueCut cut;
    std::string chunk(1 << 16, '\0');
    std::string repaired, kept;
    for (uint64_t done = 0;;) {
        size_t got = fread(chunk.data(), 1, chunk.size(), file.get());
        bool last = got < chunk.size();
        if (last && ferror(file.get())) {
            failAt(r, strerror(errno));
            return r.scan;
        }
        repaired.clear();
        kept.clear();
        repair.feed(std::string_view(chunk.data(), got), last, repaired);
        cut.feed(repaired, kept);
        if (XML_Parse(r.parser, kept.data(), static_cast<int>(kept.size()), last) !=
            XML_STATUS_OK) {
            if (!r.scan.stopped) {
                failAt(r, XML_ErrorString(XML_GetErrorCode(r.parser)));
            }
            return r.scan;
        }
        done += got;
        bool goOn = !onChunk || onChunk(done, size);
        if (last || !goOn) {
            r.scan.complete = last;
            r.scan.stopped = !last;
            return r.scan;
        }
    }
}

}  // namespace lifelog_tool
