// The people in the demo's phone book and the cells its days are spent in.
// The library stores numbers only (its name columns stay empty); the demo
// puts its phone book into the contacts store (people/), where every reader
// finds the names.
#ifndef LIFELOG_TOOL_DEMO_PHONE_BOOK_H
#define LIFELOG_TOOL_DEMO_PHONE_BOOK_H

#include <span>
#include <string>
#include <string_view>

#include "logging/activity.h"

namespace lifelog_tool {

struct Contact {
    const char* number;
    const char* name;
};

// The serving cells of the demo's phone (MCC 234, MNC 15).
struct Cell {
    int cellId;
    int lac;
};
inline constexpr Cell kHome{18877, 4021};
inline constexpr Cell kTown{18903, 4021};
inline constexpr Cell kOffice{20311, 4107};
inline constexpr int kMcc = 234;
inline constexpr int kMnc = 15;

// An activity of the demo's phone: its kind and time, in `cell`.
inline Activity activityIn(KindId kind, std::string time, Cell cell) {
    Activity a;
    a.kind = kind;
    a.time = std::move(time);
    a.cellId = cell.cellId;
    a.lac = cell.lac;
    a.mcc = kMcc;
    a.mnc = kMnc;
    return a;
}

// Everyone the demo's days talk to, the most frequent first.
std::span<const Contact> demoContacts();

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_DEMO_PHONE_BOOK_H
