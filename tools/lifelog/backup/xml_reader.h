// Streaming reader for the call-log and message backups that Android backup
// apps write: <calls><call .../></calls> and <smses><sms .../><mms>...</mms></smses>.
//
// The file goes through expat in fixed-size chunks, so memory does not grow
// with the file; an entry is handed over as soon as its element closes.
// Before expat sees the bytes, a small filter repairs what these apps are
// known to write but XML forbids, so that one bad message does not end the
// whole file: bytes that are not UTF-8, raw control characters, and
// character references to control characters or to UTF-16 surrogates
// (a surrogate pair written as two references becomes the one character it
// stands for).  What cannot be repaired becomes a marker character that the
// entry mapping recognises and reports.
#ifndef LIFELOG_TOOL_BACKUP_XML_READER_H
#define LIFELOG_TOOL_BACKUP_XML_READER_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lifelog_tool {

// U+FDD0 and U+FDD1 are noncharacters: no text a phone stores holds them.
inline constexpr std::string_view kInvalidUtf8Marker = "\xEF\xB7\x90";  // U+FDD0
inline constexpr std::string_view kControlCharMarker = "\xEF\xB7\x91";  // U+FDD1

// The length of the well-formed UTF-8 sequence that starts `text` (1 for
// ASCII), or 0 when the bytes there are not one.  U+FFFE and U+FFFF, which
// XML does not allow, count as not well-formed.
size_t utf8SequenceLength(std::string_view text);

// The byte filter in front of expat.  feed() may split the input anywhere;
// it keeps an incomplete sequence or reference for the next call.
class Utf8Repair {
public:
    // Appends the repaired bytes to `out`; `last` flushes what is kept.
    void feed(std::string_view bytes, bool last, std::string& out);

private:
    std::string pending_;
};

// The second filter: an attribute value longer than kMaxValue bytes is cut
// there (at a character's start, never inside a reference), so that a
// base64 attachment of hundreds of megabytes costs neither memory nor
// time: expat holds a start tag whole, and re-reads an unfinished one with
// every chunk.  Comments, CDATA sections, processing instructions and
// declarations pass as they are.
class LongValueCut {
public:
    static constexpr size_t kMaxValue = 64 * 1024;
    void feed(std::string_view bytes, std::string& out);
    long cuts() const { return cuts_; }

private:
    enum class State { Text, Open, Bang, Tag, Value, Skip, Comment, CData, Special };
    void step(char c, std::string& out);
    void inSpecial(char c);

    State state_ = State::Text;
    char quote_ = 0;
    size_t length_ = 0;
    bool inReference_ = false;
    int run_ = 0;  // how much of a section's end has been seen
    long cuts_ = 0;
};

struct XmlEntry {
    std::string element;  // "call", "sms", "mms", or anything else met at that depth
    long line = 0;        // where its start tag is
    std::vector<std::pair<std::string, std::string>> attributes;
    // <mms> only: the text of every text/plain part, in order, and every
    // <addr> as (address, type).
    std::vector<std::string> texts;
    std::vector<std::pair<std::string, std::string>> addresses;

    // The attribute's value, or null when the entry has none.
    const std::string* attribute(std::string_view name) const;
};

struct XmlScan {
    std::string root;       // the root element's name, empty when none was read
    std::string rootCount;  // its "count" attribute as written
    bool complete = false;  // the document was read to its end without an error
    std::string error;      // expat's message when not complete
    long errorLine = 0;
    bool stopped = false;  // the entry callback asked to stop
};

// Called after each chunk with the bytes read so far and the file's size
// (0 when it has none: a pipe); false stops reading.
using XmlChunkHook = std::function<bool(uint64_t done, uint64_t size)>;

// Reads `path` ("-": standard input) once, calling `onRoot` once with the
// root element's name (false stops reading: not a file this reader knows)
// and `onEntry` for each element directly below the root (false stops
// reading).
XmlScan readBackup(const std::string& path, const std::function<bool(const std::string&)>& onRoot,
                   const std::function<bool(const XmlEntry&)>& onEntry,
                   const XmlChunkHook& onChunk = nullptr);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BACKUP_XML_READER_H
