// Activity builders, UTF-8 text functions, time-stamp reader and the
// database logger constructor.
#include "zkivLifelogUtil.h"

#include <string.h>

#include <initializer_list>

#include "lifelogInternal.h"
#include "lifelogSchema.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggerDBHandle.h"
#include "zkivLifeloggingHandler.h"

namespace {

using lifelog::BlockGuard;
using lifelog::ListGuard;
using lifelog::StringGuard;

constexpr uint32_t kSummaryChars = lifelog::kSummaryCharacters;

using LoggerGuard = lifelog::Guard<ZLifelogger, ZLifelogger_delete>;

// Byte length of the sequence a byte starts, by its high four bits.  A stray
// continuation byte (0x80 to 0xBF) counts as a character of its own.
constexpr unsigned char kLeadLength[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 4};

// Bytes of the character at `text`: the lead length, but never past the
// terminator when the text ends inside the sequence.
size_t characterBytes(const char* text) {
    size_t wanted = kLeadLength[static_cast<unsigned char>(text[0]) >> 4];
    size_t bytes = 1;
    while (bytes < wanted && text[bytes] != '\0') {
        ++bytes;
    }
    return bytes;
}

// ------------------------------------------------------------ typed items

// Hands `value` to a new item and appends the item to the activity.  On any
// failure the value (or the item holding it) is released and the error slot
// keeps the failing call's code.
bool addItem(ZLifelogActivity* activity, const char* key, void* value, int valueType,
             unsigned int* err) {
    BlockGuard valueGuard(value);
    ZLifelogActivityItem* item = ZLifelogActivityItem_new(key, value, valueType, err);
    if (item == nullptr || *err != LIFELOG_E_SUCCESS) {
        return false;
    }
    valueGuard.release();
    ZLifelogActivity_addActivityItem(activity, item, err);
    if (*err != LIFELOG_E_SUCCESS) {
        ZLifelogActivityItem_delete(item);
        return false;
    }
    return true;
}

void* newIntBlock(int32_t number, unsigned int* err) {
    auto* block = static_cast<int32_t*>(LIFELOG_ALLOC(sizeof(int32_t)));
    if (block == nullptr) {
        lifelog::setError(err, LIFELOG_E_OUT_OF_MEMORY);
        return nullptr;
    }
    *block = number;
    return block;
}

// The message text as stored: its first characters, or an empty text when
// the cut gives nothing.
char* newSummary(const char* summary, unsigned int* err) {
    char* cut = __LifelogUtil_convertToTruncatedUTF8(summary, kSummaryChars, err);
    return cut != nullptr ? cut : String_new(kSummaryChars, err);
}

enum class Source { Number, Copy, Summary };

// One item of a builder: an optional item is left out when `present` is
// false.
struct ItemSource {
    const char* key;
    Source source;
    int32_t number;
    const char* text;
    bool present;
};

ItemSource number(const char* key, int32_t value, bool present = true) {
    return {key, Source::Number, value, nullptr, present};
}
ItemSource copy(const char* key, const char* text) {
    return {key, Source::Copy, 0, text, text != nullptr};
}
ItemSource summary(const char* key, const char* text) {
    return {key, Source::Summary, 0, text, true};
}

bool addSourceItem(ZLifelogActivity* activity, const ItemSource& item, unsigned int* err) {
    if (item.source == Source::Number) {
        void* block = newIntBlock(item.number, err);
        return block != nullptr && addItem(activity, item.key, block, LIFELOG_VALUE_INT, err);
    }
    char* text = item.source == Source::Copy ? String_newByString(item.text, err)
                                             : newSummary(item.text, err);
    return text != nullptr && addItem(activity, item.key, text, LIFELOG_VALUE_STRING, err);
}

struct Cell {
    int cellId, lac, mcc, mnc;
};

// Builder steps 2 to 5: the activity, its items in order, then the cell and
// location items.  Nothing survives a failure.
template <size_t N>
ZLifelogActivity* buildActivity(const char* kind, const ItemSource (&items)[N], Cell cell,
                                const char* location, unsigned int* err) {
    lifelog::ActivityGuard activity(ZLifelogActivity_new(kind, err));
    if (!activity || *err != LIFELOG_E_SUCCESS) {
        return nullptr;
    }
    for (const ItemSource& item : items) {
        if (item.present && !addSourceItem(activity.get(), item, err)) {
            return nullptr;
        }
    }
    __AddLocatinInfo(activity.get(), cell.cellId, cell.lac, cell.mcc, cell.mnc, location, err);
    if (*err != LIFELOG_E_SUCCESS) {
        return nullptr;
    }
    return activity.release();
}

int32_t oneOf(int32_t value, std::initializer_list<int32_t> accepted) {
    for (int32_t candidate : accepted) {
        if (value == candidate) {
            return value;
        }
    }
    return 0;
}

// ----------------------------------------------------------- cell items

bool addCellAndLocation(ZLifelogActivity* activity, const int32_t (&values)[4],
                        const char* location, unsigned int* err) {
    BlockGuard blocks[4];
    for (size_t i = 0; i < 4; ++i) {
        blocks[i].reset(newIntBlock(values[i], err));
        if (!blocks[i]) {
            return false;
        }
    }
    // Kinds without cell columns (photos) drop the four values.
    const char* kind = ZLifelogActivity_getName(activity);
    if (const lifelog::TableSchema* table = kind ? lifelog::findTable(kind) : nullptr) {
        const lifelog::CellKeys& cell = table->cellKeys;
        const char* keys[4] = {cell.cellId, cell.lac, cell.mcc, cell.mnc};
        for (size_t i = 0; i < 4; ++i) {
            if (!addItem(activity, keys[i], blocks[i].release(), LIFELOG_VALUE_INT, err)) {
                return false;
            }
        }
    }
    if (location == nullptr) {
        return true;
    }
    char* copy = String_newByString(location, err);
    return copy != nullptr &&
           addItem(activity, lifelog::kLocationColumn, copy, LIFELOG_VALUE_STRING, err);
}

// ------------------------------------------------------------ time stamps

// The number at the start of a piece of `length` characters, read as atoi
// does (leading blanks, a sign, digits up to the first other character) but
// without overflow.
int32_t leadingNumber(const char* piece, size_t length) {
    const char* end = piece + length;
    while (piece < end && (*piece == ' ' || (*piece >= '\t' && *piece <= '\r'))) {
        ++piece;
    }
    bool negative = piece < end && *piece == '-';
    if (piece < end && (*piece == '-' || *piece == '+')) {
        ++piece;
    }
    int64_t value = 0;
    for (; piece < end && *piece >= '0' && *piece <= '9'; ++piece) {
        if (value < INT32_MAX) {
            value = value * 10 + (*piece - '0');
        }
    }
    if (value > INT32_MAX) {
        value = INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

// Splits one part of the time stamp (`length` characters, read in place)
// into exactly three numbers.
bool readThree(const char* part, size_t length, char separator, int32_t* first, int32_t* second,
               int32_t* third) {
    int32_t* numbers[3] = {first, second, third};
    size_t pieces = 0;
    const char* end = part + length;
    for (const char* start = part;; ++pieces) {
        const char* stop = static_cast<const char*>(memchr(start, separator, end - start));
        if (pieces < 3) {
            *numbers[pieces] = leadingNumber(start, (stop != nullptr ? stop : end) - start);
        }
        if (stop == nullptr) {
            break;
        }
        start = stop + 1;
    }
    return pieces + 1 == 3;
}

// "YYYY-MM-DD hh:mm:ss": the first ten characters are the date, the
// characters from the twelfth to the nineteenth the time.
bool readTimestamp(const char* text, DateTime* date) {
    if (text == nullptr) {
        return false;
    }
    const size_t dateLength = strnlen(text, 10);
    // A text that ends before the time part has none to take.
    if (strnlen(text, 11) < 11) {
        return false;
    }
    const size_t timeLength = strnlen(text, 19) - 11;
    DateTime read{};
    if (!readThree(text, dateLength, '-', &read.year, &read.month, &read.day) ||
        !readThree(text + 11, timeLength, ':', &read.hour, &read.minute, &read.second)) {
        return false;
    }
    *date = read;
    return true;
}

}  // namespace

extern "C" {

// ------------------------------------------------------------- builders

LIFELOG_API ZLifelogActivity* _CreateCallActivity(const char* phoneNumber, int direction,
                                                  int duration, int type, int cellId, int lac,
                                                  int mcc, int mnc, const char* location,
                                                  unsigned int* err) {
    LIFELOG_ENTER(err);
    if (phoneNumber == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return nullptr;
    }
    const ItemSource items[] = {
        copy(lifelog::columnOf(lifelog::kCallTable, "CLOG_PHONE_NUMBER"), phoneNumber),
        number(lifelog::columnOf(lifelog::kCallTable, "CLOG_DIRECTION"),
               oneOf(direction, {0, 1, 2})),
        number(lifelog::columnOf(lifelog::kCallTable, "CLOG_DURATION"), duration),
        number(lifelog::columnOf(lifelog::kCallTable, "CLOG_TYPE"), oneOf(type, {-1, 0, 1})),
    };
    return buildActivity(lifelog::kCallTable.kind, items, {cellId, lac, mcc, mnc}, location, err);
}

LIFELOG_API ZLifelogActivity* _CreateMsgActivity(const char* phoneNumber, int direction, int type,
                                                 const char* summaryText, int cellId, int lac,
                                                 int mcc, int mnc, const char* location,
                                                 unsigned int* err) {
    LIFELOG_ENTER(err);
    if (phoneNumber == nullptr || summaryText == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return nullptr;
    }
    const ItemSource items[] = {
        copy(lifelog::columnOf(lifelog::kMessageTable, "MSGLOG_PHONE_NUMBER"), phoneNumber),
        number(lifelog::columnOf(lifelog::kMessageTable, "MSGLOG_DIRECTION"),
               oneOf(direction, {0, 1})),
        number(lifelog::columnOf(lifelog::kMessageTable, "MSGLOG_TYPE"), oneOf(type, {0, 1})),
        summary(lifelog::columnOf(lifelog::kMessageTable, "MSGLOG_SUMMARY"), summaryText),
    };
    return buildActivity(lifelog::kMessageTable.kind, items, {cellId, lac, mcc, mnc}, location,
                         err);
}

LIFELOG_API ZLifelogActivity* _CreateMediaActivity(int type, const char* title, const char* uri,
                                                   int playTime, const char* artist,
                                                   const char* album, const char* category,
                                                   int cellId, int lac, int mcc, int mnc,
                                                   const char* location, unsigned int* err) {
    LIFELOG_ENTER(err);
    if (title == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return nullptr;
    }
    const ItemSource items[] = {
        number(lifelog::columnOf(lifelog::kMediaTable, "MDLOG_TYPE"), oneOf(type, {0, 1, 2})),
        copy(lifelog::columnOf(lifelog::kMediaTable, "MDLOG_TITLE"), title),
        number(lifelog::columnOf(lifelog::kMediaTable, "MDLOG_PLAY_TIME"), playTime, playTime > 0),
        copy(lifelog::columnOf(lifelog::kMediaTable, "MDLOG_MEDIA_URI"), uri),
        copy(lifelog::columnOf(lifelog::kMediaTable, "MDLOG_ARTIST"), artist),
        copy(lifelog::columnOf(lifelog::kMediaTable, "MDLOG_ALBUM"), album),
        copy(lifelog::columnOf(lifelog::kMediaTable, "MDLOG_CATEGORY"), category),
    };
    return buildActivity(lifelog::kMediaTable.kind, items, {cellId, lac, mcc, mnc}, location, err);
}

LIFELOG_API ZLifelogActivity* _CreatePhotoActivity(const char* title, const char* uri,
                                                   const char* tag, int cellId, int lac, int mcc,
                                                   int mnc, const char* location,
                                                   unsigned int* err) {
    LIFELOG_ENTER(err);
    if (title == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return nullptr;
    }
    const ItemSource items[] = {
        copy("PTLOG_TITLE", title),
        copy("PTLOG_URI", uri),
        copy("PTLOG_TAG", tag),
    };
    return buildActivity(lifelog::kPhotoKind, items, {cellId, lac, mcc, mnc}, location, err);
}

LIFELOG_API void __AddLocatinInfo(ZLifelogActivity* activity, int cellId, int lac, int mcc, int mnc,
                                  const char* location, unsigned int* err) {
    unsigned int local = LIFELOG_E_SUCCESS;
    err = err != nullptr ? err : &local;
    // Callers only need to know that the activity is incomplete, whatever
    // the platform reported.
    if (activity == nullptr ||
        !addCellAndLocation(activity, {cellId, lac, mcc, mnc}, location, err)) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
    }
}

// ---------------------------------------------------------------- UTF-8

LIFELOG_API uint32_t __LifelogUtil_getStringLengthUTF8(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    uint32_t count = 0;
    for (size_t position = 0; text[position] != '\0'; position += characterBytes(text + position)) {
        ++count;
    }
    return count;
}

LIFELOG_API char* __LifelogUtil_convertToTruncatedUTF8(const char* text, uint32_t maxChars,
                                                       unsigned int* err) {
    if (text == nullptr || maxChars == 0) {
        return nullptr;
    }
    size_t position = 0;
    for (uint32_t count = 0; count < maxChars && text[position] != '\0'; ++count) {
        position += characterBytes(text + position);
    }
    unsigned int local = LIFELOG_E_SUCCESS;
    return String_newBySubstr(text, 0, static_cast<int>(position), err != nullptr ? err : &local);
}

// ----------------------------------------------------------- time stamps

LIFELOG_API DateTime _ConvertToDate(const char* text, unsigned int* err) {
    LIFELOG_ENTER(err);
    DateTime date{};
    if (readTimestamp(text, &date)) {
        date.reserved = 0;
        return date;
    }
    LIFELOG_ERROR("_ConvertToDate: DataFormat exception");
    *err = LIFELOG_E_INVALID_FORMAT;
    return DateTime{};
}

// -------------------------------------------------------- database logger

LIFELOG_API ZLifelogger* _CreateDBLifeLogger(unsigned int* err, int maxCountPerActivity) {
    LIFELOG_ENTER(err);
    LoggerGuard logger(ZLifelogger_new(err));
    if (lifelog::madeNothing(logger.get(), err, LIFELOG_E_OUT_OF_MEMORY)) {
        LIFELOG_ERROR("[%s] Propagated : ZLifelogger_new", Exception_toString(*err));
        return nullptr;
    }
    DBHandle* dbHandle = DBHandle_new(lifelog::kDatabasePath, maxCountPerActivity, err);
    if (lifelog::madeNothing(dbHandle, err, LIFELOG_E_OUT_OF_MEMORY)) {
        LIFELOG_ERROR("[%s] Propagated : DBHandle_new", Exception_toString(*err));
        return nullptr;
    }
    // The database handle's record begins with its Handle interface.
    ZLifeloggingHandler* handler =
        ZLifeloggingHandler_new(reinterpret_cast<Handle*>(dbHandle), err);
    if (lifelog::madeNothing(handler, err, LIFELOG_E_OUT_OF_MEMORY)) {
        DBHandle_delete(dbHandle);
        LIFELOG_ERROR("[%s] Propagated : ZLifeloggingHandler_new", Exception_toString(*err));
        return nullptr;
    }
    ZLifelogger_addHandler(logger.get(), handler, err);
    if (*err != LIFELOG_E_SUCCESS) {
        ZLifeloggingHandler_delete(handler);
        LIFELOG_ERROR("[%s] Propagated : ZLifelogger_addHandler", Exception_toString(*err));
        return nullptr;
    }
    return logger.release();
}

}  // extern "C"
