// Tables, CSV and JSON of rows.
#include "base/render.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/text.h"

namespace lifelog_tool {

Format formatByWord(std::string_view word) {
    if (word == "table") {
        return Format::Table;
    }
    if (word == "csv") {
        return Format::Csv;
    }
    if (word == "json") {
        return Format::Json;
    }
    if (word == "ndjson" || word == "jsonl") {
        return Format::Ndjson;
    }
    throw UsageError(
        fmt::format("unknown format '{}': use table, csv, json or ndjson", std::string(word)));
}

namespace {

std::string plainText(const Value& value) {
    struct Text {
        std::string operator()(std::monostate) const { return std::string(); }
        std::string operator()(int64_t number) const { return fmt::format("{}", number); }
        std::string operator()(double number) const { return fmt::format("{:.2f}", number); }
        std::string operator()(const std::string& text) const { return text; }
    };
    return std::visit(Text{}, value);
}

}  // namespace

std::string cellText(const Value& value) {
    return printable(plainText(value));
}

nlohmann::ordered_json jsonValue(const Value& value) {
    struct Json {
        nlohmann::ordered_json operator()(std::monostate) const { return nullptr; }
        nlohmann::ordered_json operator()(int64_t number) const { return number; }
        nlohmann::ordered_json operator()(double number) const { return number; }
        nlohmann::ordered_json operator()(const std::string& text) const { return validUtf8(text); }
    };
    return std::visit(Json{}, value);
}

nlohmann::ordered_json jsonRow(const Kind& kind, const Row& row) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const Column& column : kind.columns) {
        const Value* value = row.find(column.name);
        object[column.name] = value != nullptr ? jsonValue(*value) : nullptr;
    }
    for (const auto& [name, value] : row.cells) {
        if (!object.contains(name)) {
            object[name] = jsonValue(value);
        }
    }
    return object;
}

nlohmann::ordered_json jsonRows(const Kind& kind, const std::vector<Row>& rows) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const Row& row : rows) {
        array.push_back(jsonRow(kind, row));
    }
    return array;
}

nlohmann::ordered_json jsonValueCounts(const std::vector<ValueCount>& pairs) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const ValueCount& pair : pairs) {
        array.push_back({{"value", pair.value != nullptr ? jsonValue(*pair.value) : nullptr},
                         {"count", pair.count}});
    }
    return array;
}

std::string jsonText(const nlohmann::ordered_json& value, int indent) {
    return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string csvField(std::string_view text) {
    bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                 (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        return std::string(text);
    }
    std::string out = "\"";
    for (char c : text) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

std::string Table::render(int indent) const {
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rows) {
        std::vector<std::string> cells;
        for (const std::string& cell : row) {
            cells.push_back(printable(cell));
        }
        shown.push_back(std::move(cells));
    }
    std::vector<std::string> upper;
    for (const std::string& header : headers) {
        upper.push_back(printable(upperCase(header)));
    }
    std::vector<size_t> widths(headers.size());
    for (size_t c = 0; c < headers.size(); ++c) {
        widths[c] = displayWidth(upper[c]);
        for (const auto& row : shown) {
            widths[c] = std::max(widths[c], c < row.size() ? displayWidth(row[c]) : 0);
        }
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string out(static_cast<size_t>(indent), ' ');
        for (size_t c = 0; c < headers.size(); ++c) {
            const std::string empty;
            const std::string& cell = c < cells.size() ? cells[c] : empty;
            std::string pad(widths[c] - displayWidth(cell), ' ');
            bool right = c < rightAligned.size() && rightAligned[c];
            out += right ? pad + cell : cell + pad;
            out += c + 1 < headers.size() ? "  " : "";
        }
        while (!out.empty() && out.back() == ' ') {
            out.pop_back();
        }
        return out + "\n";
    };
    std::string out = line(upper);
    for (const auto& row : shown) {
        out += line(row);
    }
    return out;
}

namespace {

bool holdsValue(const Row& row, const std::string& column) {
    const Value* value = row.find(column);
    return value != nullptr && !std::holds_alternative<std::monostate>(*value);
}

// The word for a direction or type cell, or null when the column is
// neither or the value has none.
const char* wordFor(const Kind& kind, const Row& row, std::string_view column, int64_t value) {
    const std::string direction = std::string(kind.prefix) + "DIRECTION";
    if (column == direction) {
        return directionWord(kind.id, value);
    }
    if (column == std::string(kind.prefix) + "TYPE") {
        return typeWord(kind.id, row.number(direction, -1), value);
    }
    return nullptr;
}

// A cell as people read it: a direction or type in words unless raw.
std::string shownText(const Kind& kind, const Row& row, const std::string& column, bool raw) {
    const Value* value = row.find(column);
    if (value == nullptr) {
        return std::string();
    }
    if (!raw && std::holds_alternative<int64_t>(*value)) {
        if (const char* word = wordFor(kind, row, column, std::get<int64_t>(*value))) {
            return word;
        }
    }
    return plainText(*value);
}

// A cell column (CELLID, LAC, MCC, MNC) where no row has a cell: every
// value is the column's default -1 or missing.
bool emptyCellColumn(const Kind& kind, const std::vector<Row>& rows, std::string_view column) {
    std::string_view name = column.substr(std::min(column.size(), std::strlen(kind.prefix)));
    bool cell = name == "CELLID" || name == "LAC" || name == "MCC" || name == "MNC";
    return cell && std::all_of(rows.begin(), rows.end(),
                               [&](const Row& row) { return row.number(column, -1) == -1; });
}

std::vector<std::string> shownColumns(const Kind& kind, const std::vector<Row>& rows,
                                      RenderOptions options) {
    std::vector<std::string> columns;
    for (const Column& column : kind.columns) {
        bool held = std::any_of(rows.begin(), rows.end(),
                                [&](const Row& row) { return holdsValue(row, column.name); });
        if (held && (options.allColumns || !emptyCellColumn(kind, rows, column.name))) {
            columns.push_back(column.name);
        }
    }
    for (const Row& row : rows) {
        for (const auto& cell : row.cells) {
            if (!kind.column(cell.first) &&
                std::find(columns.begin(), columns.end(), cell.first) == columns.end()) {
                columns.push_back(cell.first);
            }
        }
    }
    return columns;
}

}  // namespace

Table rowsTable(const Kind& kind, const std::vector<Row>& rows, RenderOptions options) {
    std::vector<std::string> columns = shownColumns(kind, rows, options);
    Table table;
    for (const std::string& column : columns) {
        table.headers.push_back(shortName(kind, column));
        table.rightAligned.push_back(true);
    }
    for (const Row& row : rows) {
        std::vector<std::string> cells;
        for (size_t c = 0; c < columns.size(); ++c) {
            const Value* value = row.find(columns[c]);
            cells.push_back(shownText(kind, row, columns[c], options.raw));
            if (value != nullptr && (std::holds_alternative<std::string>(*value) ||
                                     cells.back() != plainText(*value))) {
                table.rightAligned[c] = false;  // a text, or a number shown as a word
            }
        }
        table.rows.push_back(std::move(cells));
    }
    return table;
}

std::string renderRows(const Kind& kind, const std::vector<Row>& rows, Format format,
                       RenderOptions options) {
    switch (format) {
        case Format::Table:
            return rows.empty() ? fmt::format("no {}\n", kind.plural)
                                : rowsTable(kind, rows, options).render();
        case Format::Json:
            return jsonText(jsonRows(kind, rows), 2) + "\n";
        case Format::Ndjson: {
            std::string out;
            for (const Row& row : rows) {
                out += jsonText(jsonRow(kind, row)) + "\n";
            }
            return out;
        }
        case Format::Csv: {
            std::vector<std::string> columns;
            for (const Column& column : kind.columns) {
                columns.push_back(column.name);
            }
            for (const Row& row : rows) {
                for (const auto& cell : row.cells) {
                    if (std::find(columns.begin(), columns.end(), cell.first) == columns.end()) {
                        columns.push_back(cell.first);
                    }
                }
            }
            std::string out;
            for (size_t c = 0; c < columns.size(); ++c) {
                out += (c == 0 ? "" : ",") + csvField(columns[c]);
            }
            out += "\n";
            for (const Row& row : rows) {
                for (size_t c = 0; c < columns.size(); ++c) {
                    out += (c == 0 ? "" : ",") +
                           csvField(validUtf8(shownText(kind, row, columns[c], options.raw)));
                }
                out += "\n";
            }
            return out;
        }
    }
    return std::string();
}

std::string duration(int64_t seconds) {
    if (seconds < 0) {
        return fmt::format("{}", seconds);
    }
    if (seconds >= 3600) {
        return fmt::format("{}:{:02d}:{:02d}", seconds / 3600, seconds / 60 % 60, seconds % 60);
    }
    return fmt::format("{}:{:02d}", seconds / 60, seconds % 60);
}

}  // namespace lifelog_tool
